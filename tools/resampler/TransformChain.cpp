#include "TransformChain.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <locale>
#include <map>
#include <sstream>
#include <stdexcept>

namespace resampler
{

namespace
{

// Limits a control grid so that a hostile file cannot ask for more than this many points.
const std::int64_t MAX_CONTROL_POINTS = 16 * 1024 * 1024;

using Keys = std::map<std::string, std::vector<double>>;

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "Key = values" lines; "#" starts a comment. The values of "Transform" are kept as a name.
Keys ReadKeys(const std::string& path, const std::string& transform)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error(path + ": cannot be opened");
    Keys keys;
    std::string name;
    std::string line;
    while (std::getline(file, line))
    {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            throw std::runtime_error(path + ": a line without \"=\"");
        const std::string key = Trim(line.substr(0, equals));
        const std::string values = Trim(line.substr(equals + 1));
        if (key == "Transform")
        {
            name = values;
            continue;
        }
        std::istringstream in(values);
        in.imbue(std::locale::classic());
        std::vector<double>& numbers = keys[key];
        numbers.clear();
        double value = 0.0;
        while (in >> value)
        {
            if (!std::isfinite(value))
                throw std::runtime_error(path + ": " + key + " is not finite");
            numbers.push_back(value);
        }
        if (!in.eof())
            throw std::runtime_error(path + ": " + key + " holds something other than numbers");
    }
    if (name != transform)
        throw std::runtime_error(path + ": not a " + transform + " transform");
    return keys;
}

const std::vector<double>& Values(const Keys& keys, const std::string& path, const std::string& key, std::size_t count)
{
    const auto found = keys.find(key);
    if (found == keys.end() || (count && found->second.size() != count))
        throw std::runtime_error(path + ": " + key + " missing or of the wrong length");
    return found->second;
}

template <std::size_t N>
std::array<double, N> Array(const Keys& keys, const std::string& path, const std::string& key)
{
    const std::vector<double>& values = Values(keys, path, key, N);
    std::array<double, N> result{};
    for (std::size_t i = 0; i < N; ++i)
        result[i] = values[i];
    return result;
}

bool IsWhole(double value, double low, double high)
{
    return value >= low && value <= high && std::floor(value) == value;
}

// The cubic B-spline weights of the four control points around fraction t in [0, 1).
void Weights(double t, double* w)
{
    const double s = 1.0 - t;
    w[0] = s * s * s / 6.0;
    w[1] = (3.0 * t * t * t - 6.0 * t * t + 4.0) / 6.0;
    w[2] = (-3.0 * t * t * t + 3.0 * t * t + 3.0 * t + 1.0) / 6.0;
    w[3] = t * t * t / 6.0;
}

} // namespace

Point PermuteAndFlip::Apply(const Point& p) const
{
    Point q{};
    for (int k = 0; k < 3; ++k)
    {
        q[k] = p[permutation[k]];
        if (flip[k])
            q[k] = extent[k] - q[k];
    }
    return q;
}

Point Affine::Apply(const Point& p) const
{
    Point q{};
    for (int r = 0; r < 3; ++r)
        q[r] = matrix[r * 3] * p[0] + matrix[r * 3 + 1] * p[1] + matrix[r * 3 + 2] * p[2] + translation[r];
    return q;
}

Point BSpline::Apply(const Point& p) const
{
    const std::int64_t count = static_cast<std::int64_t>(size[0]) * size[1] * size[2];
    if (count == 0)
        return p;
    int first[3];
    double w[3][4];
    for (int a = 0; a < 3; ++a)
    {
        const double u = (p[a] - origin[a]) / spacing[a];
        const double base = std::floor(u);
        // Far outside the grid nothing is displaced; this also keeps the indices in range of an int.
        if (base < -4.0 || base > static_cast<double>(size[a]) + 4.0)
            return p;
        first[a] = static_cast<int>(base) - 1;
        Weights(u - base, w[a]);
    }
    Point d{{0.0, 0.0, 0.0}};
    for (int k = 0; k < 4; ++k)
    {
        const int z = first[2] + k;
        if (z < 0 || z >= size[2])
            continue;
        for (int j = 0; j < 4; ++j)
        {
            const int y = first[1] + j;
            if (y < 0 || y >= size[1])
                continue;
            for (int i = 0; i < 4; ++i)
            {
                const int x = first[0] + i;
                if (x < 0 || x >= size[0])
                    continue;
                const double weight = w[0][i] * w[1][j] * w[2][k];
                const std::int64_t index = (static_cast<std::int64_t>(z) * size[1] + y) * size[0] + x;
                for (int a = 0; a < 3; ++a)
                    d[a] += weight * coefficients[static_cast<std::size_t>(a * count + index)];
            }
        }
    }
    return {{p[0] + d[0], p[1] + d[1], p[2] + d[2]}};
}

PermuteAndFlip ReadPermuteAndFlip(const std::string& path)
{
    const Keys keys = ReadKeys(path, "PermuteAndFlip");
    PermuteAndFlip t;
    const std::array<double, 3> permutation = Array<3>(keys, path, "Permutation");
    const std::array<double, 3> flip = Array<3>(keys, path, "Flip");
    bool used[3] = {false, false, false};
    for (int k = 0; k < 3; ++k)
    {
        if (!IsWhole(permutation[k], 0, 2) || used[static_cast<int>(permutation[k])] || !IsWhole(flip[k], 0, 1))
            throw std::runtime_error(path + ": Permutation or Flip malformed");
        used[static_cast<int>(permutation[k])] = true;
        t.permutation[k] = static_cast<int>(permutation[k]);
        t.flip[k] = static_cast<int>(flip[k]);
    }
    t.extent = Array<3>(keys, path, "Extent");
    return t;
}

Affine ReadAffine(const std::string& path)
{
    const Keys keys = ReadKeys(path, "Affine");
    Affine t;
    t.matrix = Array<9>(keys, path, "Matrix");
    t.translation = Array<3>(keys, path, "Translation");
    return t;
}

BSpline ReadBSpline(const std::string& path)
{
    const Keys keys = ReadKeys(path, "BSpline");
    BSpline t;
    t.origin = Array<3>(keys, path, "Origin");
    t.spacing = Array<3>(keys, path, "Spacing");
    const std::array<double, 3> size = Array<3>(keys, path, "Size");
    std::int64_t count = 1;
    for (int a = 0; a < 3; ++a)
    {
        if (!IsWhole(size[a], 0, static_cast<double>(MAX_CONTROL_POINTS)) || !(t.spacing[a] > 0.0))
            throw std::runtime_error(path + ": Size or Spacing malformed");
        t.size[a] = static_cast<int>(size[a]);
        count *= t.size[a];
        if (count > MAX_CONTROL_POINTS)
            throw std::runtime_error(path + ": too many control points");
    }
    t.coefficients = Values(keys, path, "Coefficients", 0);
    if (t.coefficients.size() != static_cast<std::size_t>(3 * count))
        throw std::runtime_error(path + ": Coefficients do not match Size");
    return t;
}

void Resample(const TransformChain& chain, const float* input, const unsigned int* inputSize, const float* inputSpacing,
              float* output, const unsigned int* outputSize, float defaultValue, const float* outputSpacing)
{
    const std::size_t nx = inputSize[0];
    const std::size_t nxy = nx * inputSize[1];
    std::size_t o = 0;
    for (unsigned int z = 0; z < outputSize[2]; ++z)
        for (unsigned int y = 0; y < outputSize[1]; ++y)
            for (unsigned int x = 0; x < outputSize[0]; ++x, ++o)
            {
                const Point p{{static_cast<double>(x) * outputSpacing[0], static_cast<double>(y) * outputSpacing[1],
                               static_cast<double>(z) * outputSpacing[2]}};
                const Point q = chain.Apply(p);
                double c[3];
                std::size_t i0[3];
                bool inside = true;
                for (int a = 0; a < 3 && inside; ++a)
                {
                    c[a] = q[a] / static_cast<double>(inputSpacing[a]);
                    const double last = static_cast<double>(inputSize[a] - 1);
                    inside = c[a] >= 0.0 && c[a] <= last;
                    if (inside)
                    {
                        // The upper corner's cell starts one voxel back so that both corners exist.
                        double base = std::floor(c[a]);
                        if (base >= last && inputSize[a] > 1)
                            base = last - 1.0;
                        i0[a] = static_cast<std::size_t>(base);
                        c[a] -= base;
                    }
                }
                if (!inside)
                {
                    output[o] = defaultValue;
                    continue;
                }
                double value = 0.0;
                for (int k = 0; k < 2; ++k)
                    for (int j = 0; j < 2; ++j)
                        for (int i = 0; i < 2; ++i)
                        {
                            const double weight =
                                (i ? c[0] : 1.0 - c[0]) * (j ? c[1] : 1.0 - c[1]) * (k ? c[2] : 1.0 - c[2]);
                            if (weight == 0.0)
                                continue;
                            value += weight * input[(i0[2] + k) * nxy + (i0[1] + j) * nx + i0[0] + i];
                        }
                output[o] = static_cast<float>(value);
            }
}

} // namespace resampler
