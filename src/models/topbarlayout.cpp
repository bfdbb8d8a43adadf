#include "models/topbarlayout.h"

#include <algorithm>

namespace tovra {

TopBarSides TopBarSides::balanced(int actions, int back, int field, int room)
{
    const int side = std::max(actions, back);
    if (2 * side + field <= room)
        return {side, side};
    return {0, actions};
}

}
