// GTL::Matrix: a fixed-size matrix of R x C values stored row by row (row 0 first, each
// row C consecutive values). The geometry functions use Matrix<4, 4, double> as a
// homogeneous transform: the upper-left 3x3 block is a rotation, column 3 of rows 0-2 a
// translation; row 3 is not used for points.
#pragma once

#include <array>
#include <cstddef>

namespace GTL {

template <std::size_t R, std::size_t C, typename T>
class Matrix
{
public:
    using Row = std::array<T, C>;

    // Every element zero: a matrix is never left holding unset values.
    constexpr Matrix() = default;

    // The identity (square matrices only).
    static constexpr Matrix Identity()
        requires(R == C)
    {
        Matrix m;
        for (std::size_t i = 0; i < R; ++i) m.m_rows[i][i] = T(1);
        return m;
    }

    // Row i as an array of C values; m[i][j] is the element of row i, column j.
    constexpr Row& operator[](std::size_t i) { return m_rows[i]; }
    constexpr const Row& operator[](std::size_t i) const { return m_rows[i]; }

    // The product (this * other)[i][j] = sum over k of this[i][k] * other[k][j].
    template <std::size_t K>
    constexpr Matrix<R, K, T> operator*(const Matrix<C, K, T>& other) const
    {
        Matrix<R, K, T> out;
        for (std::size_t i = 0; i < R; ++i)
            for (std::size_t j = 0; j < K; ++j) {
                T sum = T(0);
                for (std::size_t k = 0; k < C; ++k) sum += m_rows[i][k] * other[k][j];
                out[i][j] = sum;
            }
        return out;
    }

    constexpr bool operator==(const Matrix&) const = default;

private:
    std::array<Row, R> m_rows{};
};

} // namespace GTL
