// AttributeNames: the names of the settings that filters and data sources read from a
// CAttributeMap. Every name is a constant text usable wherever a CString is expected and
// in static initialisers; attribute files (see CAttributeMap) use the same texts.
#pragma once

// Multibeam filter switches and limits.
inline constexpr const char* ATTR_BEAMREJECTFILTER = "BeamRejectFilter";
inline constexpr const char* ATTR_FILTERREJECTBEAMS = "FilterRejectBeams";
inline constexpr const char* ATTR_MAXBEAMREJECT = "MaxBeamReject";
inline constexpr const char* ATTR_QUALITYFILTER = "QualityFilter";
inline constexpr const char* ATTR_FILTERQUALITY = "FilterQuality";
inline constexpr const char* ATTR_RANGEFILTER = "RangeFilter";
inline constexpr const char* ATTR_FILTERMINRANGE = "FilterMinRange";
inline constexpr const char* ATTR_FILTERMAXRANGE = "FilterMaxRange";
inline constexpr const char* ATTR_DEPTHFILTER = "DepthFilter";
inline constexpr const char* ATTR_FILTERMINDEPTH = "FilterMinDepth";
inline constexpr const char* ATTR_FILTERMAXDEPTH = "FilterMaxDepth";
inline constexpr const char* ATTR_NADIRFILTER = "NadirFilter";
inline constexpr const char* ATTR_FILTERNADIRANGLE = "FilterNadirAngle";
inline constexpr const char* ATTR_FILTERPORTNADIRANGLE = "FilterPortNadirAngle";
inline constexpr const char* ATTR_FILTERSTARBOARDNADIRANGLE = "FilterStarboardNadirAngle";
inline constexpr const char* ATTR_SLOPEFILTER = "SlopeFilter";
inline constexpr const char* ATTR_FILTERSLOPEANGLE = "FilterSlopeAngle";
inline constexpr const char* ATTR_ANGLEFILTER = "AngleFilter";
inline constexpr const char* ATTR_FILTERMINANGLE = "FilterMinAngle";
inline constexpr const char* ATTR_IHOERRORCHECK = "IhoErrorCheck";
inline constexpr const char* ATTR_IHOORDER = "IhoOrder";
inline constexpr const char* ATTR_CUSTOMERROR = "CustomError";
inline constexpr const char* ATTR_CUSTOMERRORVALUE = "CustomErrorValue";
inline constexpr const char* ATTR_STATISTICFILTER = "StatisticFilter";
inline constexpr const char* ATTR_FILTERWINDOWSIZE = "FilterWindowSize";
inline constexpr const char* ATTR_FILTERQUANTSCALE = "FilterQuantScale";

// Multibeam filter variants, each off unless set: the filters' own behaviour is the default.
// Smart filter: the nadir zone's profile drawn as the straight line between the bins on
// either side of it (bool), instead of one flat level.
inline constexpr const char* ATTR_SMARTSLOPEDNADIR = "SmartSlopedNadir";
// Smart filter: bins that received no beam left out of the profile (bool); beams are
// compared with the nearest bins that hold data, and not tested where there are none.
inline constexpr const char* ATTR_SMARTSKIPEMPTYBINS = "SmartSkipEmptyBins";
// Smart filter: the unit of VertTolRelData and VertTolUnrelData (int): 0 metres, 1 a
// fraction of the profile depth, 2 a multiple of the beam's estimated vertical error.
inline constexpr const char* ATTR_SMARTTOLERANCEUNIT = "SmartToleranceUnit";
// Smart filter, the seabed profile: each bin's reference is the median z of its beams at
// their median across-track x (the z measured about the line through the neighbouring
// bins' medians, so that on a slope too a minority of bad beams cannot move it), and the
// profile is the straight line between those points
// (carried on along the outermost line beyond them), with no nadir zone levelled; a bin
// of fewer than 3 beams gives no point. Any of the next four settings draws it (bool).
inline constexpr const char* ATTR_SMARTMEDIANPROFILE = "SmartMedianProfile";
// Smart filter, seabed profile: bins of this many beams neighbouring across track (int,
// at least 3; 0 off), the passing beams shared out into bins of nearly this size.
inline constexpr const char* ATTR_SMARTBINBEAMS = "SmartBinBeams";
// Smart filter, seabed profile: bins of this width as a fraction of the ping's median
// depth within the reliable sector (double; 0 off), unless SmartBinBeams is set.
inline constexpr const char* ATTR_SMARTBINDEPTHRATIO = "SmartBinDepthRatio";
// Smart filter, seabed profile: each beam's tolerance grows by the local slope of the
// profile (the steepest of the segment it lies on and the segments beside it) times half
// the length of its segment, which a bend of the seabed between two points may leave the
// straight line by (bool).
inline constexpr const char* ATTR_SMARTSLOPETOLERANCE = "SmartSlopeTolerance";
// Smart filter: with SmartToleranceUnit = 2, the tolerance as a fraction of the profile's
// depth for a ping without estimated vertical errors (676) and for beams whose error is not
// a positive number (double); 0 leaves such pings untested, as the default profile does.
inline constexpr const char* ATTR_SMARTFALLBACKRATIO = "SmartFallbackRatio";
// Slope filter: the least across-track distance to the beam the slope is measured
// against, as a fraction of the nadir depth (double); 0 compares neighbouring beams.
inline constexpr const char* ATTR_SLOPEBASERATIO = "SlopeBaseRatio";
// Statistics filter: judge every ping, the first and last ones of a run with the pings
// there are (a window not yet full, or one-sided; at least three), instead of passing
// them unjudged (bool).
inline constexpr const char* ATTR_STATSJUDGEEDGES = "StatsJudgeEdges";
// Statistics filter: the fixed-ratio pass's step as a fraction of the median depth
// (double); 0.03 when absent or not positive.
inline constexpr const char* ATTR_STATSFIXEDRATIO = "StatsFixedRatio";
// IHO test: the order by each beam's depth (bool), Order 1 to 100 m and Order 2 beyond,
// instead of IhoOrder.
inline constexpr const char* ATTR_IHOORDERBYDEPTH = "IhoOrderByDepth";

// Single-beam filter switches and limits.
inline constexpr const char* ATTR_SBF_DEPTH = "SbfDepth";
inline constexpr const char* ATTR_SBF_GATE = "SbfGate";
inline constexpr const char* ATTR_SBF_SPIKE = "SbfSpike";
inline constexpr const char* ATTR_SBF_DPTMIN = "SbfDepthMin";
inline constexpr const char* ATTR_SBF_DPTMAX = "SbfDepthMax";
inline constexpr const char* ATTR_SBF_GATEVAL = "SbfGateValue";
inline constexpr const char* ATTR_SBF_SPIKEGAMMA = "SbfSpikeGamma";
inline constexpr const char* ATTR_SBF_SPIKENOISE = "SbfSpikeNoise";

// Tide data source edits.
inline constexpr const char* ATTR_ELTINDEX = "EltIndex";
inline constexpr const char* ATTR_SETVALUE = "SetValue";
inline constexpr const char* ATTR_VALUESHIFT = "ValueShift";

// Pipe-detection filter settings.
inline constexpr const char* ATTR_MASKSHAPE = "MaskShape";
inline constexpr const char* ATTR_SHAPEVIEWSIDE = "ShapeViewSide";
inline constexpr const char* ATTR_PREVPOSMARGIN = "PrevposFilterMarginExt";
inline constexpr const char* ATTR_PIPEDETECTCOMPID = "PipedetectCompId";
inline constexpr const char* ATTR_MAXINTENSITYCNT = "MaxIntensityCnt";
inline constexpr const char* ATTR_PIPEDIAMETER = "PipeDiameter";
inline constexpr const char* ATTR_POSITION = "Position";
