// DataSearch: the process-wide project/data search object. It says where files of each
// kind live (a folder under the settable project directory) and which extension they
// carry, and holds the current project definition (its coordinate system). Used by the
// pipe-detection filter to find its vessel contour files and by the formula engine's
// coordinate functions.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/config/ProjectDefinition.h>
#include <KvsDataBlocks/platform/CString.h>

class KVS_API DataSearch
{
public:
    // File kinds.
    static constexpr unsigned int kVesselContour = 4;

    static DataSearch& GetDataSearch();

    // The project directory; empty (the default) means the current directory.
    void SetProjectDirectory(const CString& directory) { m_projectDir = directory; }
    const CString& GetProjectDirectory() const { return m_projectDir; }

    // The folder of files of kind, ending in '/' so that a file name can be appended;
    // false and path untouched for an unknown kind.
    bool GetFilePath(unsigned int kind, CString& path) const;
    // The extension of files of kind with its dot (".ctr"); false for an unknown kind.
    bool GetFileExtension(unsigned int kind, CString& extension) const;

    // The current project definition.
    ProjectDefinition& GetProjectDefinition() { return m_project; }
    const ProjectDefinition& GetProjectDefinition() const { return m_project; }

private:
    CString m_projectDir;
    ProjectDefinition m_project;
};
