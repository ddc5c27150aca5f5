#include <KvsDataBlocks/config/DataSearch.h>

#include <gtest/gtest.h>

TEST(DataSearch, ContourFilesLiveInAFolderOfTheProjectDirectory)
{
    DataSearch& search = DataSearch::GetDataSearch();
    const CString saved = search.GetProjectDirectory();
    CString path, extension;
    for (const char* dir : {"/survey/job1", "/survey/job1/"}) {
        search.SetProjectDirectory(dir);
        ASSERT_TRUE(search.GetFilePath(DataSearch::kVesselContour, path));
        EXPECT_EQ(path, "/survey/job1/Contours/");
    }
    EXPECT_TRUE(search.GetFileExtension(DataSearch::kVesselContour, extension) && extension == ".ctr") << extension;
    path = "kept";
    EXPECT_FALSE(search.GetFilePath(99, path) || search.GetFileExtension(99, path) || path != "kept");
    search.SetProjectDirectory(saved);
}
