// KvsGeoCoordSysBase: a survey coordinate system, a projected grid over its geographic
// datum, with an optional geoid model and an optional local grid adjustment. The formula
// engine converts grid positions to geographic and WGS 84 positions through it; the
// project definition owns the project's system. Backed by PROJ with network access off:
// every grid and database it uses must be on the machine. Latitudes and longitudes in
// degrees (east and north positive), grid coordinates and heights in metres.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/geometry/GridAdjustment.h>
#include <KvsDataBlocks/platform/CString.h>

#include <memory>
#include <optional>

class KVS_API KvsGeoCoordSysBase
{
public:
    // Why Create refused: which of the two texts, and PROJ's or our reason.
    struct CreateError
    {
        enum Part { None, Grid, Datum };
        Part part = None;
        CString reason;
    };

    // A system from a projected CRS (gridCrs, e.g. "EPSG:32631") and a geographic CRS
    // (datumCrs, e.g. "EPSG:4326"), each a text PROJ understands (authority code, PROJ
    // string, WKT or PROJJSON; a PROJ string "+proj=..." is taken as a CRS even without
    // "+type=crs"). Null when PROJ cannot use either text, when gridCrs is not
    // projected or datumCrs not geographic, or when PROJ finds no way between the grid, the
    // datum and WGS 84; error (when given) then says why.
    static std::unique_ptr<KvsGeoCoordSysBase> Create(const CString& gridCrs, const CString& datumCrs,
                                                      CreateError* error = nullptr);

    virtual ~KvsGeoCoordSysBase();
    KvsGeoCoordSysBase(const KvsGeoCoordSysBase&) = delete;
    KvsGeoCoordSysBase& operator=(const KvsGeoCoordSysBase&) = delete;

    // Each operation returns false and leaves its outputs untouched when it cannot give
    // a result (non-finite input, position outside what PROJ can convert).

    // The grid position (x east, y north) of a position in the system's datum.
    virtual bool GeoToGrid(double latitude, double longitude, double& x, double& y) const;
    // The position in the system's datum of a grid position.
    virtual bool GridToGeo(double x, double y, double& latitude, double& longitude) const;
    // direction 1: from the system's datum to WGS 84; 0: from WGS 84 to the system's
    // datum; heights are ellipsoidal. An empty datum name stands for WGS 84; other names
    // are not supported (false).
    virtual bool DatumTransform(double& latitude, double& longitude, double& height, double& latitudeOut,
                                double& longitudeOut, double& heightOut, int direction,
                                const CString& datumName) const;
    // The geoid undulation at a WGS 84 position: what to add to a height of the system
    // (above the geoid) to get the WGS 84 ellipsoidal height. False without a geoid model
    // and outside the model's grid. The grid position is not needed by a PROJ geoid model.
    virtual bool HeightCorrection(double latitude, double longitude, double x, double y, double& correction) const;
    // direction 1: local grid to projection grid (before GridToGeo); 0: projection grid to
    // local grid (after GeoToGrid). Heights pass unchanged. False without an adjustment.
    virtual bool GridAdjust(double x, double y, double height, double& xOut, double& yOut, double& heightOut,
                            int direction) const;

    // A geoid model: a PROJ vertical grid file (e.g. "egm96_15.gtx"), a plain file name
    // looked up first in searchDirectory (when given), then in PROJ's data directories.
    // False (and no geoid model) when the name is not a plain file name or PROJ cannot
    // open the file; reason (when given) says why.
    bool SetGeoidModel(const CString& fileName, const CString& searchDirectory = CString(), CString* reason = nullptr);
    void ClearGeoidModel();
    bool HasGeoidModel() const;

    void SetGridAdjustment(const GridAdjustment& adjustment) { m_adjustment = adjustment; }
    void ClearGridAdjustment() { m_adjustment.reset(); }
    bool HasGridAdjustment() const { return m_adjustment.has_value(); }

    // The texts the system was made from (empty for a system of a derived class).
    const CString& GetGridCrs() const { return m_gridCrs; }
    const CString& GetDatumCrs() const { return m_datumCrs; }
    const CString& GetGeoidModel() const { return m_geoidModel; }

protected:
    // A system without PROJ objects: every operation but GridAdjust reports false. For
    // derived classes that bring their own mathematics.
    KvsGeoCoordSysBase();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::optional<GridAdjustment> m_adjustment;
    CString m_gridCrs;
    CString m_datumCrs;
    CString m_geoidModel;
};
