// A row of buttons kept centred as a group in a panel.
#pragma once

#include <vector>

// The left edges of buttons of the given widths laid out in a row with `gap` pixels between
// them, the first at W / 2 - G / 2 (each division truncating toward zero), where W is the
// panel's width and G the width of the group as it stands now, measured from the left edge
// of the first button to the right edge of the last.
std::vector<int> CentredButtonLefts(int panelWidth, int groupWidth, const std::vector<int>& widths,
                                    int gap);
