// KvsDoubleVector: the common body of the vector values CKvsDouble2D and CKvsDouble3D, a
// formula value of N doubles. It gives the text form (numbers separated by commas),
// copies, the component-wise arithmetic, negation and filling from scalars; Derived (the
// concrete class) adds its own component getter and setter (GetDouble2D or GetDouble3D),
// through which other values are read as N components.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/values/KvsValueText.h>

#include <array>
#include <cstddef>

template <std::size_t N, typename Derived>
class KVS_API KvsDoubleVector : public CKvsType
{
    static_assert(N == 2 || N == 3, "a vector value has 2 or 3 components");

public:
    const std::array<double, N>& Values() const { return m_v; }

    bool SetValueStr(CString& text) override
    {
        std::array<double, N> v{};
        int start = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const int comma = text.Find(',', start);
            const bool last = i + 1 == N;
            if (last != (comma < 0)) return false;
            const CString part = last ? text.Mid(start) : text.Mid(start, comma - start);
            if (!kvs::ParseWholeDouble(part, v[i])) return false;
            start = comma + 1;
        }
        m_v = v;
        return true;
    }

    CKvsType* MakeCopy() const override { return new Derived(static_cast<const Derived&>(*this)); }

    int GetValueStr(CString& text) const override
    {
        text = kvs::ShortestText(m_v[0]);
        for (std::size_t i = 1; i < N; ++i) text += "," + kvs::ShortestText(m_v[i]);
        return 1;
    }

    // Formula operation: the components from the scalars (GetDouble) of the first N
    // values; the others are not read. 0 and unchanged when one of them has no scalar.
    int SetDoubleXD(CKvsType& a, CKvsType& b, CKvsType& c, CKvsType& d) override
    {
        CKvsType* const values[4] = {&a, &b, &c, &d};
        std::array<double, N> v{};
        for (std::size_t i = 0; i < N; ++i)
            if (!values[i]->GetDouble(v[i])) return 0;
        m_v = v;
        return 1;
    }

    CKvsType operator=(const CKvsType& other) override
    {
        std::array<double, N> v{};
        if (Components(other, false, v)) m_v = v;
        return *this;
    }

    const CKvsType& operator+=(const CKvsType& other) override
    {
        std::array<double, N> v{};
        if (Components(other, false, v))
            for (std::size_t i = 0; i < N; ++i) m_v[i] += v[i];
        return *this;
    }

    const CKvsType& operator-=(const CKvsType& other) override
    {
        std::array<double, N> v{};
        if (Components(other, false, v))
            for (std::size_t i = 0; i < N; ++i) m_v[i] -= v[i];
        return *this;
    }

    const CKvsType& operator*=(const CKvsType& other) override
    {
        std::array<double, N> v{};
        if (Components(other, true, v))
            for (std::size_t i = 0; i < N; ++i) m_v[i] *= v[i];
        return *this;
    }

    const CKvsType& operator/=(const CKvsType& other) override
    {
        std::array<double, N> v{};
        if (!Components(other, true, v)) return *this;
        for (double d : v)
            if (d == 0.0) return *this;
        for (std::size_t i = 0; i < N; ++i) m_v[i] /= v[i];
        return *this;
    }

    // Formula operation: the negated vector, component by component.
    int Neg(CKvsType& value) override
    {
        std::array<double, N> v{};
        if (!Components(value, false, v)) return 0;
        for (std::size_t i = 0; i < N; ++i) m_v[i] = -v[i];
        return 1;
    }

protected:
    KvsDoubleVector() = default;
    explicit KvsDoubleVector(const std::array<double, N>& v) : m_v(v) {}
    KvsDoubleVector(const KvsDoubleVector&) = default;

    // The other value as N components: its own, or with allowScalar its scalar repeated.
    // False when it has neither.
    static bool Components(const CKvsType& other, bool allowScalar, std::array<double, N>& out)
    {
        bool own = false;
        if constexpr (N == 2)
            own = other.GetDouble2D(out[0], out[1]) != 0;
        else
            own = other.GetDouble3D(out[0], out[1], out[2]) != 0;
        if (own) return true;
        double s = 0.0;
        if (!allowScalar || !other.GetDouble(s)) return false;
        out.fill(s);
        return true;
    }

    std::array<double, N> m_v{};
};
