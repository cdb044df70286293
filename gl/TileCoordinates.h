#pragma once

// The key of one tile of an image. Keys sort by the sum of the squares first; equal sums are told apart
// by column, row and level.
struct TileCoordinates
{
    TileCoordinates(int level, int col, int row)
        : col(col)
        , row(row)
        , level(level)
        , sum(level * level + col * col + row * row)
    {
    }

    bool operator<(const TileCoordinates& other) const
    {
        if (sum != other.sum)
            return sum < other.sum;
        if (col != other.col)
            return col < other.col;
        if (row != other.row)
            return row < other.row;
        return level < other.level;
    }
    bool operator==(const TileCoordinates& other) const
    {
        return col == other.col && row == other.row && level == other.level;
    }

    int col;
    int row;
    int level;
    int sum;
};
