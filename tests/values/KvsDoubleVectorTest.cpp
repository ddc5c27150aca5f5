// The 2-D and 3-D vector values share one body; every behaviour is checked for both.
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <gtest/gtest.h>

namespace {

template <typename V>
constexpr std::size_t kN = std::tuple_size_v<std::decay_t<decltype(std::declval<V>().Values())>>;

// A vector of the first kN<V> of x, y, z.
template <typename V>
V Make(double x, double y, double z)
{
    if constexpr (kN<V> == 2)
        return V(x, y);
    else
        return V(x, y, z);
}

template <typename V>
class KvsDoubleVectorTest : public ::testing::Test {};
using VectorTypes = ::testing::Types<CKvsDouble2D, CKvsDouble3D>;
TYPED_TEST_SUITE(KvsDoubleVectorTest, VectorTypes);

} // namespace

TYPED_TEST(KvsDoubleVectorTest, EachOperatorTextFormCopiesAndFillsFromTheFirstComponentsScalars)
{
    using V = TypeParam;
    // A zero in the last component only: the divisor check must look at every component.
    const V lastZero = Make<V>(1, kN<V> == 2 ? 0 : 1, 0);
    const struct { const char* name; std::function<void(CKvsType&)> op; V expected; } cases[] = {
        {"= vector", [](CKvsType& r) { r = Make<V>(1, 2, 3); }, Make<V>(1, 2, 3)},
        {"+= vector", [](CKvsType& r) { r += Make<V>(1, 2, 3); }, Make<V>(7, -2, 12)},
        {"-= vector", [](CKvsType& r) { r -= Make<V>(1, 2, 3); }, Make<V>(5, -6, 6)},
        {"*= vector", [](CKvsType& r) { r *= Make<V>(2, 0.5, -1); }, Make<V>(12, -2, -9)},
        {"/= vector", [](CKvsType& r) { r /= Make<V>(2, -4, 3); }, Make<V>(3, 1, 3)},
        {"*= int", [](CKvsType& r) { r *= CKvsInt(2); }, Make<V>(12, -8, 18)},
        {"/= double", [](CKvsType& r) { r /= CKvsDouble(2.0); }, Make<V>(3, -2, 4.5)},
        {"Neg", [](CKvsType& r) { EXPECT_EQ(r.Neg(*std::make_unique<V>(Make<V>(1, -2, 3))), 1); }, Make<V>(-1, 2, -3)},
        // Refused: the value stays as it was.
        {"= scalar", [](CKvsType& r) { r = CKvsDouble(1.0); }, Make<V>(6, -4, 9)},
        {"+= scalar", [](CKvsType& r) { r += CKvsDouble(100.0); }, Make<V>(6, -4, 9)},
        {"-= scalar", [](CKvsType& r) { r -= CKvsInt(1); }, Make<V>(6, -4, 9)},
        {"*= text", [](CKvsType& r) { r *= CKvsName("2"); }, Make<V>(6, -4, 9)},
        {"/= zero vector", [](CKvsType& r) { r /= Make<V>(0, 0, 0); }, Make<V>(6, -4, 9)},
        {"/= zero in the last component", [&](CKvsType& r) { r /= lastZero; }, Make<V>(6, -4, 9)},
        {"/= scalar zero", [](CKvsType& r) { r /= CKvsDouble(0.0); }, Make<V>(6, -4, 9)},
        {"Neg of a scalar", [](CKvsType& r) { EXPECT_EQ(r.Neg(*std::make_unique<CKvsDouble>(1.0)), 0); },
         Make<V>(6, -4, 9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        V v = Make<V>(6, -4, 9);
        c.op(v);
        EXPECT_EQ(v.Values(), c.expected.Values());
    }
    using V = TypeParam;
    const bool three = kN<V> == 3;
    V v = Make<V>(1.5, -2.0, 0.25);
    CString text;
    v.GetValueStr(text);
    EXPECT_EQ(text, three ? "1.5,-2,0.25" : "1.5,-2");
    for (const char* bad : {"1.5", "1.5, -2, 0.25, 1", three ? "1, x, 2" : "1, x", ""}) {
        CString in(bad);
        EXPECT_FALSE(v.SetValueStr(in)) << bad;
    }
    EXPECT_EQ(v.Values(), Make<V>(1.5, -2.0, 0.25).Values());
    CString in(three ? " 4, -5 ,6" : " 4, -5 ");
    EXPECT_TRUE(v.SetValueStr(in));
    EXPECT_EQ(v.Values(), Make<V>(4, -5, 6).Values());
    double d = 7;
    EXPECT_EQ(v.GetDouble(d), 0);
    std::unique_ptr<CKvsType> copy(v.MakeCopy());
    EXPECT_EQ(typeid(*copy), typeid(V));
    v.SetValueStr(in = CString(three ? "0,0,0" : "0,0"));
    copy->GetValueStr(text);
    EXPECT_EQ(text, three ? "4,-5,6" : "4,-5");
    using V = TypeParam;
    V w = Make<V>(9, 9, 9);
    CKvsDouble a(1.5), c(3.0);
    CKvsInt b(-2);
    V notScalar = Make<V>(5, 6, 7);
    CKvsType& third = kN<V> == 2 ? static_cast<CKvsType&>(notScalar) : static_cast<CKvsType&>(c);
    EXPECT_EQ(w.SetDoubleXD(a, b, third, notScalar), 1); // what follows is not read
    EXPECT_EQ(w.Values(), Make<V>(1.5, -2, 3).Values());
    CKvsType& last = kN<V> == 2 ? static_cast<CKvsType&>(b) : static_cast<CKvsType&>(notScalar);
    EXPECT_EQ(w.SetDoubleXD(a, notScalar, a, a), 0);
    EXPECT_EQ(w.SetDoubleXD(a, a, last, a), kN<V> == 2 ? 1 : 0);
    EXPECT_EQ(w.Values(), kN<V> == 2 ? Make<V>(1.5, 1.5, 0).Values() : Make<V>(1.5, -2, 3).Values());
}
