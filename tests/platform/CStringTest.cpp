#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CStringArray.h>

#include <gtest/gtest.h>

TEST(CString, SubstringsClampLikeTheFramework)
{
    const CString s("ABCDEF");
    EXPECT_EQ(s.Mid(2), "CDEF");
    EXPECT_EQ(s.Mid(2, 2), "CD");
    EXPECT_EQ(s.Mid(10), "");
    EXPECT_EQ(s.Mid(-3, 2), "AB");
    EXPECT_EQ(s.Left(10), "ABCDEF");
    EXPECT_EQ(s.Right(2), "EF");
    EXPECT_EQ(s.Right(-1), "");
}

TEST(CString, SearchEditAndCompare)
{
    CString s("a,b,,c");
    EXPECT_EQ(s.Find(','), 1);
    EXPECT_EQ(s.Find(',', 2), 3);
    EXPECT_EQ(s.Find(",,"), 3);
    EXPECT_EQ(s.Find('x'), -1);
    EXPECT_EQ(s.ReverseFind(','), 4);
    EXPECT_EQ(s.Insert(0, "$"), 7);
    EXPECT_EQ(s, "$a,b,,c");
    EXPECT_EQ(s.Delete(1, 2), 5);
    EXPECT_EQ(s, "$b,,c");
    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_EQ(CString("gga").MakeUpper(), "GGA");
}

TEST(CString, FormatGrowsBeyondTheSmallBuffer)
{
    CString s;
    s.Format("%s-%d", std::string(1000, 'x').c_str(), 42);
    EXPECT_EQ(s.GetLength(), 1003);
    EXPECT_EQ(s.Right(3), "-42");
}

TEST(CString, HoldsNulBytes)
{
    CString s("ab");
    s += '\0';
    s += 'c';
    EXPECT_EQ(s.GetLength(), 4);
    EXPECT_EQ(s[3], 'c');
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
    EXPECT_EQ(a[0], "y");
    a.RemoveAt(5);
    EXPECT_EQ(a.GetSize(), 2);
}
