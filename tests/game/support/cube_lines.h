// The 49 lines of the 3 x 3 x 3 cube, found independently of the game by
// walking every direction from every cell.
#pragma once
#include <array>
#include <set>
#include <vector>

namespace cube {

using Cell = std::array<int, 3>;  // floor, row, column, each 1..3
using Line = std::array<Cell, 3>;

inline std::vector<Line> all_lines() {
    std::set<std::set<Cell>> seen;
    std::vector<Line> lines;
    for (int f = 1; f <= 3; ++f)
        for (int r = 1; r <= 3; ++r)
            for (int k = 1; k <= 3; ++k)
                for (int df = -1; df <= 1; ++df)
                    for (int dr = -1; dr <= 1; ++dr)
                        for (int dk = -1; dk <= 1; ++dk) {
                            if (!df && !dr && !dk) continue;
                            Line line{{{f, r, k}, {f + df, r + dr, k + dk}, {f + 2 * df, r + 2 * dr, k + 2 * dk}}};
                            bool inside = true;
                            for (const Cell& c : line)
                                for (int v : c) inside = inside && v >= 1 && v <= 3;
                            if (inside && seen.insert({line[0], line[1], line[2]}).second) lines.push_back(line);
                        }
    return lines;
}

}  // namespace cube
