// The numbers and flags of the records of the objects section: object types of the fixed
// numbering, and the flags the records keep (as DXF group 70 holds them) or the DWG stores.
#pragma once

namespace qkshost::dwg {

// Object types of the fixed numbering; other kinds take the numbers the classes give them.
enum ObjectType : int {
    kText = 0x01,
    kAttrib = 0x02,
    kAttdef = 0x03,
    kBlock = 0x04,
    kEndblk = 0x05,
    kSeqend = 0x06,
    kInsert = 0x07,
    kMinsert = 0x08,
    kVertex2d = 0x0A,
    kVertex3d = 0x0B,
    kVertexMesh = 0x0C,
    kVertexPface = 0x0D,
    kVertexPfaceFace = 0x0E,
    kPolyline2d = 0x0F,
    kPolyline3d = 0x10,
    kArc = 0x11,
    kCircle = 0x12,
    kLine = 0x13,
    kDimOrdinate = 0x14,
    kDimLinear = 0x15,
    kDimAligned = 0x16,
    kDimAng3pt = 0x17,
    kDimAng2ln = 0x18,
    kDimRadius = 0x19,
    kDimDiameter = 0x1A,
    kPoint = 0x1B,
    kPolylinePface = 0x1D,
    kPolylineMesh = 0x1E,
    kSolid = 0x1F,
    kViewport = 0x22,
    kEllipse = 0x23,
    kSpline = 0x24,
    kRegion = 0x25,
    kSolid3d = 0x26,
    kBody = 0x27,
    kRay = 0x28,
    kXline = 0x29,
    kDictionary = 0x2A,
    kMtext = 0x2C,
    kOleFrame = 0x2D,
    kDummy = 0x2E,
    kLongTransaction = 0x2F,
    kBlockControl = 0x30,
    kBlockHeader = 0x31,
    kLayerControl = 0x32,
    kLayer = 0x33,
    kStyleControl = 0x34,
    kStyle = 0x35,
    kLtypeControl = 0x38,
    kLtype = 0x39,
    kViewControl = 0x3C,
    kUcsControl = 0x3E,
    kVportControl = 0x40,
    kAppidControl = 0x42,
    kAppid = 0x43,
    kDimstyleControl = 0x44,
    kDimstyle = 0x45,
    kVpEntHdrControl = 0x46,
    kVpEntHdr = 0x47,
    kLwpline = 0x4D,
    kHatch = 0x4E,
    kLayout = 0x52,
    kProxyEntity = 0x1F2,
    kProxyObject = 0x1F3,
};
// Object types from here on are those of the classes, in class order.
constexpr int kFirstClassType = 500;

// A handle reference that is present only when its two-bit flag says "by handle".
constexpr int kByHandle = 3;

// Entity modes of the common entity data: where the owner comes from.
constexpr int kOwnerByHandle = 0;
constexpr int kOwnerPaperSpace = 1;
constexpr int kOwnerModelSpace = 2;

// ---- flags as DXF group 70 holds them, which the records keep ----

// Any table entry.
constexpr int kTableXrefDependent = 16;
constexpr int kTableReferenced = 64;
// Layers.
constexpr int kLayerFrozen = 1;
constexpr int kLayerFrozenInNewViewports = 2;
constexpr int kLayerLocked = 4;
// Text styles.
constexpr int kStyleShapeFile = 1;
constexpr int kStyleVertical = 4;
// Block records.
constexpr int kBlockAnonymous = 1;
constexpr int kBlockHasAttributes = 2;
constexpr int kBlockXref = 4;
constexpr int kBlockOverlay = 8;
// Vertices: of a 3-D mesh, of a polyface mesh, and the polyface face records.
constexpr int kVertexOfMesh = 64;
constexpr int kVertexOfPolyface = 128;
// Polylines.
constexpr int kPolylineFlagClosed = 1;
constexpr int kPolylineFlagSplineFit = 4;
constexpr int kPolylineFlag3d = 8;
constexpr int kPolylineFlagMesh = 16;
constexpr int kPolylineFlagPolyface = 64;
// Dimensions: the dimension types of group 70, and the bit of X-type ordinates.
constexpr int kDimTypeLinear = 0;
constexpr int kDimTypeAligned = 1;
constexpr int kDimTypeAngular2Line = 2;
constexpr int kDimTypeDiameter = 3;
constexpr int kDimTypeRadius = 4;
constexpr int kDimTypeAngular3Point = 5;
constexpr int kDimTypeOrdinate = 6;
constexpr int kDimOrdinateXType = 64;

// ---- flags as the DWG stores them ----

// Table entries of 2007 and later: the xref-dependent bit of their xref word.
constexpr int kDwgXrefDependent = 0x100;
// Layers of 2000 and later: one word of state, the lineweight index in bits 5 to 9.
constexpr int kDwgLayerFrozen = 1;
constexpr int kDwgLayerOff = 2;
constexpr int kDwgLayerFrozenInNewViewports = 4;
constexpr int kDwgLayerLocked = 8;
constexpr int kDwgLayerPlotted = 16;
constexpr int kDwgLayerLineweightMask = 0x3E0;
constexpr int kDwgLayerLineweightShift = 5;
// Linetype dashes: the dash is a text, its shape number the text's offset in the text area.
constexpr int kDashIsText = 2;
// TEXT, ATTRIB, ATTDEF of 2000 and later: which values are left at their defaults.
constexpr int kTextNoElevation = 0x01;
constexpr int kTextNoAlignment = 0x02;
constexpr int kTextNoOblique = 0x04;
constexpr int kTextNoRotation = 0x08;
constexpr int kTextNoWidthFactor = 0x10;
constexpr int kTextNoGeneration = 0x20;
constexpr int kTextNoHAlign = 0x40;
constexpr int kTextNoVAlign = 0x80;
// The ATTRIB / ATTDEF type of 2018 that carries a tag, a field length and flags.
constexpr int kAttributeSingleLine = 1;
// INSERT scales of R2000 and later: which of the three factors are stored.
constexpr int kScaleAllStored = 0;
constexpr int kScaleXIsOne = 1;
constexpr int kScaleUniform = 2;
constexpr int kScaleUnit = 3;
// LWPOLYLINE: which values follow.
constexpr int kLwExtrusion = 1;
constexpr int kLwThickness = 2;
constexpr int kLwConstantWidth = 4;
constexpr int kLwElevation = 8;
constexpr int kLwBulges = 16;
constexpr int kLwWidths = 32;
constexpr int kLwVertexIds = 1024;
// HATCH boundary loops: a polyline loop instead of edges; a derived loop, whose presence adds
// a pixel size to the record.
constexpr int kLoopPolyline = 2;
constexpr int kLoopDerived = 4;
// HATCH edge types.
constexpr int kEdgeLine = 1;
constexpr int kEdgeCircularArc = 2;
constexpr int kEdgeEllipticArc = 3;
constexpr int kEdgeSpline = 4;
// SPLINE of 2013 and later: the first flag word says the spline is given by fit points.
constexpr int kSplineByFitPoints = 1;
// SPLINE scenarios.
constexpr int kScenarioControlPoints = 1;
constexpr int kScenarioFitPoints = 2;

// Lineweight in 1/100 mm of a stored lineweight index.
int lineweightOf(int index);

}  // namespace qkshost::dwg
