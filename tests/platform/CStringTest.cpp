#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CStringArray.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

TEST(CString, SubstringsClampSearchEditCompareAndNulBytes)
{
    const CString s("ABCDEF");
    const std::pair<CString, const char*> parts[] = {
        {s.Mid(2), "CDEF"}, {s.Mid(2, 2), "CD"}, {s.Mid(10), ""},  {s.Mid(-3, 2), "AB"},
        {s.Left(10), "ABCDEF"}, {s.Right(2), "EF"}, {s.Right(-1), ""}, {CString("gga").MakeUpper(), "GGA"},
    };
    for (const auto& [got, expected] : parts) EXPECT_EQ(got, expected) << expected;
    CString t("a,b,,c");
    EXPECT_EQ(std::vector<int>({t.Find(','), t.Find(',', 2), t.Find(",,"), t.Find('x'), t.ReverseFind(',')}),
              std::vector<int>({1, 3, 3, -1, 4}));
    const int inserted = t.Insert(0, "$");
    EXPECT_EQ(std::pair(inserted, t), std::pair(7, CString("$a,b,,c")));
    const int deleted = t.Delete(1, 2);
    EXPECT_EQ(std::pair(deleted, t), std::pair(5, CString("$b,,c")));
    EXPECT_EQ(std::pair(CString("abc").CompareNoCase("ABC"), CString("abc").Compare("abd") < 0), std::pair(0, true));
    t.Format("%s-%d", std::string(1000, 'x').c_str(), 42); // beyond the small buffer
    EXPECT_EQ(std::pair(t.GetLength(), t.Right(3)), std::pair(1003, CString("-42")));
    CString n("ab");
    n += '\0';
    n += 'c';
    EXPECT_EQ(n, CString(std::string("ab\0c", 4)));
}

TEST(CStringArray, AddInsertRemove)
{
    CStringArray a;
    EXPECT_EQ(a.Add("x"), 0);
    a.Add("z");
    a.InsertAt(1, "y");
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[1], "y");
    a.RemoveAt(0);
    a.RemoveAt(5); // past the end: nothing
    EXPECT_EQ(std::tuple(a.GetSize(), a[0], a[1]), std::tuple(2, CString("y"), CString("z")));
}
