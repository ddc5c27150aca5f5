#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CKvsString.h>
#include <KvsDataBlocks/platform/CStringArray.h>

#include <gtest/gtest.h>

TEST(CString, SubstringsClampSearchEditCompareAndNulBytesAndArraysAddInsertRemove)
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

// The items of list, and the ones just past each end (which must be empty).
static std::vector<std::string> Items(const CKvsString& list)
{
    std::vector<std::string> items;
    for (int i = -1; i <= list.Size(); ++i) items.emplace_back(list[i].GetString());
    return items;
}

TEST(CKvsString, SplitsKeepsEmptyItemsReloadsAndParsesWholeIntegersOnly)
{
    EXPECT_EQ(Items(CKvsString(" 3, 7-9,,12 ,", ',', true)), (std::vector<std::string>{"", "3", "7-9", "", "12", "", ""}));
    EXPECT_EQ(Items(CKvsString(" a ; b", ';', false)), (std::vector<std::string>{"", " a ", " b", ""}));
    EXPECT_EQ(CKvsString("", ',', true).Size(), 0);
    CKvsString s(';');
    s.LoadStringA("UTM;32N", false);
    EXPECT_EQ(s.Size(), 2);
    s.SetSeparator('-');
    s.LoadStringA("7-9", true);
    EXPECT_EQ(Items(s), (std::vector<std::string>{"", "7", "9", ""}));
    const CKvsString list("12, -4,7-9,x,99999999999", ',', true);
    int a = 100, b = 100, v = 100;
    EXPECT_TRUE(list.GetItem(0, a) && list.GetItem(1, b));
    EXPECT_EQ(std::pair(a, b), std::pair(12, -4));
    for (int i : {2, 3, 4, 5}) EXPECT_FALSE(list.GetItem(i, v)) << i;
    EXPECT_EQ(v, 100);
}
