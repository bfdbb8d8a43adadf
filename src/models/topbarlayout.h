#pragma once

namespace tovra {

// The minimum widths of the top bar's two side columns, around the search field in the middle.
struct TopBarSides
{
    int leading = 0;
    int trailing = 0;

    // Equal stretch alone would hand both sides the same width and squeeze the account items when
    // they need more than the back button's side. Both sides get the wider one's width, so the
    // field stays in the middle of the bar; when that does not fit in room (the bar less its
    // margins and spacing), the account items keep their width and the field gives up width on
    // its right, down to fieldMinimum, before it moves: signing in or a longer label leaves the
    // field where it was.
    static TopBarSides balanced(int actions, int back, int field, int fieldMinimum, int room);
};

}
