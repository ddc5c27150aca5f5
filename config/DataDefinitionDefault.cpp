#include <KvsDataBlocks/config/DataDefinition.h>

// The built-in data definition, in the file format documented in DataDefinition.h.
// Groups: 1010 single-beam (depths use-as 201 to 217, position 505/506), 1011 multibeam
// (one item per use-as code of the ping exchange; arrays sized for 1600 beams), 1020 tide
// (position 0 the tide value, position 1 the station id, 505/506 the station position)
// and 1071 pipe detection (element ids 1 to 13 as the pipe filter reads them, use-as 615).
// Use-as codes 220/221 (tide value, station id), 630 to 633 (pipe-detection values) and
// 690 to 698 (multibeam: source beam and ping flags, longitude and latitude, exact time,
// the sonar's ping counter, swath position and frequency; named in UseAsCodes.h) are this definition's own.
const char* DataDefinition::GetDefaultDefinitionText()
{
    return R"json(
{
  "description": "Built-in data definition of KvsDataBlocks",
  "groups": [
    {
      "id": 1010,
      "name": "SingleBeam",
      "bufferLength": 50,
      "items": [
        {"name": "Depth1", "type": "ET_DOUBLE", "format": 4, "useAs": 201},
        {"name": "Depth2", "type": "ET_DOUBLE", "format": 4, "useAs": 202},
        {"name": "Depth3", "type": "ET_DOUBLE", "format": 4, "useAs": 203},
        {"name": "Depth4", "type": "ET_DOUBLE", "format": 4, "useAs": 204},
        {"name": "Depth5", "type": "ET_DOUBLE", "format": 4, "useAs": 205},
        {"name": "Depth6", "type": "ET_DOUBLE", "format": 4, "useAs": 206},
        {"name": "Depth7", "type": "ET_DOUBLE", "format": 4, "useAs": 207},
        {"name": "Depth8", "type": "ET_DOUBLE", "format": 4, "useAs": 208},
        {"name": "Depth9", "type": "ET_DOUBLE", "format": 4, "useAs": 209},
        {"name": "Depth10", "type": "ET_DOUBLE", "format": 4, "useAs": 210},
        {"name": "Depth11", "type": "ET_DOUBLE", "format": 4, "useAs": 211},
        {"name": "Depth12", "type": "ET_DOUBLE", "format": 4, "useAs": 212},
        {"name": "Depth13", "type": "ET_DOUBLE", "format": 4, "useAs": 213},
        {"name": "Depth14", "type": "ET_DOUBLE", "format": 4, "useAs": 214},
        {"name": "Depth15", "type": "ET_DOUBLE", "format": 4, "useAs": 215},
        {"name": "Depth16", "type": "ET_DOUBLE", "format": 4, "useAs": 216},
        {"name": "Depth17", "type": "ET_DOUBLE", "format": 4, "useAs": 217},
        {"name": "X", "type": "ET_DOUBLE", "format": 1, "useAs": 505},
        {"name": "Y", "type": "ET_DOUBLE", "format": 1, "useAs": 506}
      ]
    },
    {
      "id": 1011,
      "name": "Multibeam",
      "items": [
        {"name": "PingNumber", "type": "ET_INT", "format": 0, "useAs": 601},
        {"name": "BeamCount", "type": "ET_INT", "format": 0, "useAs": 602},
        {"name": "RejectedBeams", "type": "ET_INT", "format": 0, "useAs": 612},
        {"name": "Value101", "type": "ET_DOUBLE", "format": 1, "useAs": 101},
        {"name": "NadirDepth", "type": "ET_DOUBLE", "format": 4, "useAs": 214},
        {"name": "NadirDepthBelowOffset", "type": "ET_DOUBLE", "format": 4, "useAs": 213},
        {"name": "VerticalOffset", "type": "ET_DOUBLE", "format": 2, "useAs": 212},
        {"name": "Value104", "type": "ET_DOUBLE", "format": 1, "useAs": 104},
        {"name": "Value102", "type": "ET_DOUBLE", "format": 1, "useAs": 102},
        {"name": "Value103", "type": "ET_DOUBLE", "format": 1, "useAs": 103},
        {"name": "Value401", "type": "ET_DOUBLE", "format": 1, "useAs": 401},
        {"name": "X", "type": "ET_DOUBLE", "format": 1, "useAs": 505},
        {"name": "Y", "type": "ET_DOUBLE", "format": 1, "useAs": 506},
        {"name": "VerticalReference", "type": "ET_DOUBLE", "format": 2, "useAs": 507},
        {"name": "BeamAcross", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 603},
        {"name": "BeamAlong", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 604},
        {"name": "BeamZ", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 605},
        {"name": "BeamFlags", "type": "ET_UINT_ARRAY", "length": 6400, "format": 0, "useAs": 606},
        {"name": "PingFlags", "type": "ET_UINT", "format": 0, "useAs": 607},
        {"name": "BeamValues16", "type": "ET_USHORT_ARRAY", "length": 3200, "format": 0, "useAs": 608},
        {"name": "Value609", "type": "ET_USHORT", "format": 0, "useAs": 609},
        {"name": "Value611", "type": "ET_USHORT", "format": 0, "useAs": 611},
        {"name": "Value610", "type": "ET_SHORT", "format": 0, "useAs": 610},
        {"name": "Value617", "type": "ET_INT", "format": 0, "useAs": 617},
        {"name": "BeamValues621", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 1, "useAs": 621},
        {"name": "BeamAngle", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 1, "useAs": 622},
        {"name": "BeamValues623", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 1, "useAs": 623},
        {"name": "BeamValues618", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 1, "useAs": 618},
        {"name": "Value619", "type": "ET_INT", "format": 0, "useAs": 619},
        {"name": "Value672", "type": "ET_FLOAT", "format": 1, "useAs": 672},
        {"name": "Value620", "type": "ET_FLOAT", "format": 1, "useAs": 620},
        {"name": "Value624", "type": "ET_INT", "format": 0, "useAs": 624},
        {"name": "Value522", "type": "ET_DOUBLE", "format": 1, "useAs": 522},
        {"name": "Value684", "type": "ET_DOUBLE", "format": 1, "useAs": 684},
        {"name": "Value685", "type": "ET_DOUBLE", "format": 1, "useAs": 685},
        {"name": "Value616", "type": "ET_DOUBLE", "format": 1, "useAs": 616},
        {"name": "EstimatedVertError", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 676},
        {"name": "EstimatedHorError", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 677},
        {"name": "AllowedVertError", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 678},
        {"name": "AllowedHorError", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 679},
        {"name": "Value649", "type": "ET_INT", "format": 0, "useAs": 649},
        {"name": "Value625", "type": "ET_FLOAT", "format": 1, "useAs": 625},
        {"name": "Value626", "type": "ET_FLOAT", "format": 1, "useAs": 626},
        {"name": "Value627", "type": "ET_FLOAT", "format": 1, "useAs": 627},
        {"name": "GsfBeamFlags", "type": "ET_UCHAR_ARRAY", "length": 1600, "format": 0, "useAs": 690},
        {"name": "GsfPingFlags", "type": "ET_USHORT", "format": 0, "useAs": 691},
        {"name": "Longitude", "type": "ET_DOUBLE", "format": 11, "useAs": 692},
        {"name": "Latitude", "type": "ET_DOUBLE", "format": 10, "useAs": 693},
        {"name": "TimeSeconds", "type": "ET_UINT", "format": 0, "useAs": 694},
        {"name": "TimeNanoseconds", "type": "ET_UINT", "format": 0, "useAs": 695},
        {"name": "SonarPingCounter", "type": "ET_UINT", "format": 0, "useAs": 696},
        {"name": "SwathPosition", "type": "ET_USHORT", "format": 0, "useAs": 697},
        {"name": "PingFrequency", "type": "ET_FLOAT", "format": 1, "useAs": 698}
      ]
    },
    {
      "id": 1020,
      "name": "Tide",
      "items": [
        {"name": "TideValue", "type": "ET_DOUBLE", "format": 2, "useAs": 220},
        {"name": "StationId", "type": "ET_STRING", "length": 16, "format": 0, "useAs": 221},
        {"name": "StationX", "type": "ET_DOUBLE", "format": 1, "useAs": 505},
        {"name": "StationY", "type": "ET_DOUBLE", "format": 1, "useAs": 506}
      ]
    },
    {
      "id": 1071,
      "name": "PipeDetection",
      "items": [
        {"name": "PingNumber", "type": "ET_INT", "format": 0, "useAs": 601},
        {"name": "BeamCount", "type": "ET_INT", "format": 0, "useAs": 602},
        {"name": "BeamX", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 603},
        {"name": "BeamY", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 604},
        {"name": "BeamZ", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 605},
        {"name": "BeamPipeValue", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 2, "useAs": 630},
        {"name": "BeamFlags", "type": "ET_UINT_ARRAY", "length": 6400, "format": 0, "useAs": 606},
        {"name": "SensorX", "type": "ET_DOUBLE", "format": 1, "useAs": 505},
        {"name": "SensorY", "type": "ET_DOUBLE", "format": 1, "useAs": 506},
        {"name": "SensorZ", "type": "ET_DOUBLE", "format": 2, "useAs": 507},
        {"name": "Spare", "type": "ET_DOUBLE", "format": 1, "useAs": 633},
        {"name": "PipeValue", "type": "ET_DOUBLE", "format": 2, "useAs": 631},
        {"name": "PipeValueAtMeanBeam", "type": "ET_DOUBLE", "format": 2, "useAs": 632},
        {"name": "Intensity", "type": "ET_USHORT_ARRAY", "length": 3200, "format": 0, "useAs": 608},
        {"name": "BeamLookup615", "type": "ET_FLOAT_ARRAY", "length": 6400, "format": 1, "useAs": 615}
      ]
    }
  ]
}
)json";
}
