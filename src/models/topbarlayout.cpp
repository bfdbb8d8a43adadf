#include "models/topbarlayout.h"

#include <algorithm>

namespace tovra {

TopBarSides TopBarSides::balanced(int actions, int back, int field, int fieldMinimum, int room)
{
    const int side = std::max(actions, back);
    if (2 * side + field <= room)
        return {side, side};
    // Where the centred field would start, as long as what is left on its right still holds the
    // field at its narrowest and the account items.
    const int centred = (room - field) / 2;
    return {std::max(0, std::min(centred, room - fieldMinimum - actions)), actions};
}

}
