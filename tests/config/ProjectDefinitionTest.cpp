#include <KvsDataBlocks/config/ProjectDefinition.h>

#include <KvsDataBlocks/config/DataSearch.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::string ErrorOf(const char* text)
{
    ProjectDefinition project;
    EXPECT_FALSE(project.LoadProjectText(text, "job.prj")) << text;
    EXPECT_EQ(project.GetGeoCoordSys(), nullptr);
    return project.GetLastError().str();
}

} // namespace

TEST(ProjectDefinition, ReadsTextsAndFilesNamesBadLinesAndKeepsItsSystemOnFailure)
{
    ProjectDefinition project;
    ASSERT_TRUE(project.LoadProjectText("# North Sea block\r\n\n  GRID = EPSG:25832  \r\ndatum=EPSG:4258\n"
                                        "\t# heights above EGM96\nGeoid = egm96_15.gtx\nadjust = similarity 100 -200 1 0",
                                        "job.prj"))
        << project.GetLastError().GetString();
    EXPECT_TRUE(project.GetLastError().IsEmpty());
    const KvsGeoCoordSysBase* system = project.GetGeoCoordSys();
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->GetGridCrs().str() + " " + system->GetDatumCrs().str(), "EPSG:25832 EPSG:4258");
    EXPECT_TRUE(system->HasGeoidModel() && system->HasGridAdjustment());

    double x = 0.0, y = 0.0, h = 0.0;
    ASSERT_TRUE(system->GridAdjust(349900.0, 6100200.0, 0.0, x, y, h, 1));
    EXPECT_EQ(std::pair(x, y), std::pair(350000.0, 6100000.0));

    // Geoid and adjustment may be left out.
    ASSERT_TRUE(project.LoadProjectText("grid = EPSG:32631\ndatum = EPSG:4326\n", "job.prj"));
    EXPECT_FALSE(project.GetGeoCoordSys()->HasGeoidModel() || project.GetGeoCoordSys()->HasGridAdjustment());
    ASSERT_TRUE(project.LoadProjectText("grid = EPSG:32631\ndatum = EPSG:4326\nadjust = AFFINE 1 0 5 0 1 6", "b"));
    ASSERT_TRUE(project.GetGeoCoordSys()->GridAdjust(1.0, 2.0, 3.0, x, y, h, 1));
    EXPECT_EQ(std::pair(x, y), std::pair(6.0, 8.0));
    const struct { const char *text, *error; } cases[] = {
        {"grid = EPSG:32631\ndatum EPSG:4326\n", "job.prj: line 2: expected 'key = value'"},
        {"# c\ngrid = EPSG:32631\nzone = 31\n", "job.prj: line 3: unknown key 'zone'"},
        {"grid = EPSG:32631\nGrid = EPSG:32632\n", "job.prj: line 2: 'grid' given twice (first on line 1)"},
        {"grid = EPSG:32631\ndatum =  \n", "job.prj: line 2: 'datum' has no value"},
        {"grid = EPSG:32631\ndatum = EPSG:4326\x01\n", "job.prj: line 2: control character in the line"},
        {"datum = EPSG:4326\n", "job.prj: no 'grid' line"}, {"grid = EPSG:32631\n", "job.prj: no 'datum' line"},
        {"\ngrid = EPSG:99999\ndatum = EPSG:4326\n", "job.prj: line 2: PROJ cannot use grid 'EPSG:99999': "},
        {"grid = EPSG:32631\n\ndatum = EPSG:32632\n", "job.prj: line 3: PROJ cannot use datum 'EPSG:32632': not a geographic CRS"},
        {"datum = EPSG:4326\ngrid = EPSG:4326\n", "job.prj: line 2: PROJ cannot use grid 'EPSG:4326': not a projected CRS"},
        {"grid = EPSG:32631\ndatum = EPSG:4326\ngeoid = missing_geoid.gtx\n",
         "job.prj: line 3: geoid model 'missing_geoid.gtx': PROJ cannot open it"},
        {"grid = EPSG:32631\ndatum = EPSG:4326\ngeoid = ../x.gtx\n", "job.prj: line 3: geoid model '../x.gtx': not a plain file name"},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.text).rfind(c.error, 0), 0u) << c.text << " -> " << ErrorOf(c.text);
    const std::string e =
        ErrorOf(("grid = +proj=nosuchprojection +zone=31 +" + std::string(200, 'x') + "\ndatum = EPSG:4326\n").c_str());
    EXPECT_EQ(e.rfind("job.prj: line 1: PROJ cannot use grid '+proj=nosuchprojection +zone=31 +xxx", 0), 0u) << e;
    EXPECT_NE(e.find("xxx...': "), std::string::npos) << e; // long texts are cut
    for (const char* a : {"rotate 1 2 3", "similarity 1 2 3", "similarity 1 2 3 4 5", "affine 1 0 0 0 1",
                          "similarity 1 2 x 4", "similarity 1 2 1e999 4", "similarity 1 2 0 4", "affine 1 2 0 2 4 0", ""}) {
        const std::string adjust = ErrorOf((std::string("grid = EPSG:32631\ndatum = EPSG:4326\nadjust = ") + a).c_str());
        EXPECT_EQ(adjust.rfind("job.prj: line 3: ", 0), 0u) << a << ": " << adjust;
    }
    ASSERT_TRUE(project.LoadProjectText("grid = EPSG:32631\ndatum = EPSG:4326\n", "a.prj"));
    const KvsGeoCoordSysBase* before = project.GetGeoCoordSys();
    EXPECT_FALSE(project.LoadProjectText("grid = EPSG:32632\ndatum = EPSG:4326\ngeoid = missing.gtx\n", "b.prj"));
    EXPECT_TRUE(project.GetGeoCoordSys() == before && !project.GetLastError().IsEmpty());
    project.SetGeoCoordSys(nullptr);
    auto created = project.CreateNewCoordSys("EPSG:32632", "EPSG:4326");
    ASSERT_TRUE(created);
    EXPECT_FALSE(created->HasGeoidModel() || created->HasGridAdjustment());
    EXPECT_FALSE(project.CreateNewCoordSys("EPSG:32632", "garbage"));
    EXPECT_EQ(project.GetGeoCoordSys(), nullptr); // creating does not set the project's
    EXPECT_EQ(DataSearch::GetDataSearch().GetProjectDefinition().GetGeoCoordSys(), nullptr); // the shared one
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kvs_project test"; // a blank too
    std::filesystem::create_directories(dir);
    std::error_code ec;
    std::filesystem::copy_file("/usr/share/proj/egm96_15.gtx", dir / "site_geoid.gtx",
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) GTEST_SKIP() << "egm96_15.gtx of proj-data is not installed";
    const std::filesystem::path file = dir / "job.prj";
    const char* text = "grid = EPSG:32631\ndatum = EPSG:4326\ngeoid = site_geoid.gtx\n";
    std::ofstream(file) << text;
    EXPECT_FALSE(project.LoadProjectText(text, "job.prj")); // found beside the file only, not in PROJ's directories
    ASSERT_TRUE(project.LoadProjectFile(CString(file.string()))) << project.GetLastError().GetString();
    double n = 0.0;
    ASSERT_TRUE(project.GetGeoCoordSys()->HeightCorrection(52.3502933489, 3.0, 0.0, 0.0, n));
    EXPECT_NEAR(n, 43.579979, 1e-6);
    EXPECT_FALSE(project.LoadProjectFile(CString((dir / "missing.prj").string())));
    EXPECT_EQ(project.GetLastError().str(), "cannot read file '" + (dir / "missing.prj").string() + "'");
    EXPECT_NE(project.GetGeoCoordSys(), nullptr);

    const std::filesystem::path big = dir / "big.prj";
    std::ofstream(big) << std::string(ProjectDefinition::kMaxFileSize + 1, '#');
    EXPECT_FALSE(project.LoadProjectFile(CString(big.string())));
    EXPECT_EQ(project.GetLastError().str(), big.string() + ": file too large");
    std::filesystem::remove_all(dir, ec);
}

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
