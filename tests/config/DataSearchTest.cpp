#include <KvsDataBlocks/config/DataSearch.h>

#include <gtest/gtest.h>

TEST(DataSearch, ContourFilesLiveInAFolderOfTheProjectDirectory)
{
    DataSearch& search = DataSearch::GetDataSearch();
    const CString saved = search.GetProjectDirectory();
    CString path, extension;
    search.SetProjectDirectory("/survey/job1");
    ASSERT_TRUE(search.GetFilePath(DataSearch::kVesselContour, path));
    EXPECT_STREQ(path.GetString(), "/survey/job1/Contours/");
    search.SetProjectDirectory("/survey/job1/");
    ASSERT_TRUE(search.GetFilePath(DataSearch::kVesselContour, path));
    EXPECT_STREQ(path.GetString(), "/survey/job1/Contours/");
    ASSERT_TRUE(search.GetFileExtension(DataSearch::kVesselContour, extension));
    EXPECT_STREQ(extension.GetString(), ".ctr");

    path = "kept";
    EXPECT_FALSE(search.GetFilePath(99, path));
    EXPECT_FALSE(search.GetFileExtension(99, path));
    EXPECT_STREQ(path.GetString(), "kept");
    search.SetProjectDirectory(saved);
}
