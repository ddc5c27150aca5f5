// ProjectDefinition: the survey project's settings that this library uses, that is the
// project's coordinate system. The application sets the system directly or has it read
// from a project file; DataSearch::GetDataSearch().GetProjectDefinition() is the
// process-wide project. It owns its system.
//
// Project file: text, one setting a line as "key = value"; keys in any letter case, each
// at most once; blank lines and lines whose first non-blank character is '#' are skipped,
// a trailing CR is dropped, blanks around key and value are ignored.
//   grid   = <projected CRS>     required: "EPSG:32631", "EPSG:25832" or any projected
//                                CRS text PROJ understands (PROJ string, WKT, PROJJSON)
//   datum  = <geographic CRS>    required: the grid's geographic datum, "EPSG:4326",
//                                "EPSG:4258", ...
//   geoid  = <file name>         optional: a PROJ vertical grid (e.g. "egm96_15.gtx"),
//                                looked up beside the project file, then in PROJ's data
//                                directories; it must open
//   adjust = similarity <tx> <ty> <scale> <rotation degrees>    optional local grid
//   adjust = affine <a> <b> <c> <d> <e> <f>                     adjustment, see GridAdjustment
// Example:
//   # North Sea block, ETRS89 / UTM 32N, heights above EGM96
//   grid  = EPSG:25832
//   datum = EPSG:4258
//   geoid = egm96_15.gtx
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/geometry/KvsGeoCoordSysBase.h>
#include <KvsDataBlocks/platform/CString.h>

#include <memory>

class KVS_API ProjectDefinition
{
public:
    static constexpr int kMaxFileSize = 1 << 20;

    ProjectDefinition();
    ~ProjectDefinition();
    ProjectDefinition(const ProjectDefinition&) = delete;
    ProjectDefinition& operator=(const ProjectDefinition&) = delete;

    // The project's system, or null. Valid until the system is next replaced.
    KvsGeoCoordSysBase* GetGeoCoordSys() const { return m_coordSys.get(); }
    // Replaces the project's system (null: none).
    void SetGeoCoordSys(std::unique_ptr<KvsGeoCoordSysBase> system);

    // Reads a project file. On failure the project keeps the system it had, the result
    // is false and GetLastError() says why: "cannot read file '...'", "<file>: file too
    // large", "<file>: line N: <reason>" or "<file>: no 'grid' line" (or 'datum').
    bool LoadProjectFile(const CString& fileName);
    // The same from the text of a project file; sourceName stands for the file name in
    // messages, directory for its folder (geoid look-up; empty: none).
    bool LoadProjectText(const CString& text, const CString& sourceName, const CString& directory = CString());
    // Empty after a successful load.
    const CString& GetLastError() const { return m_error; }

    // A new system (owned by the caller) from a projected and a geographic CRS text, as
    // in a project file's grid and datum lines, without geoid or adjustment; null when
    // PROJ cannot use the texts.
    std::unique_ptr<KvsGeoCoordSysBase> CreateNewCoordSys(const CString& gridCrs, const CString& datumCrs) const;

private:
    std::unique_ptr<KvsGeoCoordSysBase> m_coordSys;
    CString m_error;
};
