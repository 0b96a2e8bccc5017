#include "qkshost/dwg/reader.h"

#include <qkshost/drawing/geometry.h>
#include <qkshost/drawing/text_decoder.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "adapter.h"
#include "qks/common/file_io.h"
#include "qks/common/plane.h"
#include "qkshost/dwg/dwg.h"

namespace qkshost::dwg {

namespace dr = qkshost::drawing;

namespace detail {

void Adapter::header() {
    const Header& h = d_.header;
    db_.readVersion = h.acadver;
    db_.codePage = codePageName(h.codePage);
    db_.insBase = pt(h.insbase);
    db_.tileMode = h.tilemode;
    db_.insUnits = h.insunits;
    if (h.measurement >= 0) db_.measurement = h.measurement;
    if (h.ltscale > 0) db_.linetypeScale = h.ltscale;
    db_.paperLinetypeScale = h.psltscale;
    db_.setHandSeedAtLeast(h.handseed);
    const Handle controls[9] = {h.vportControl, h.linetypeControl, h.layerControl,
                                h.styleControl, h.viewControl,     h.ucsControl,
                                h.appidControl, h.dimstyleControl, h.blockControl};
    for (int i = 0; i < 9; ++i)
        db_.tableHandles[i] = controls[i];
}

void Adapter::finish() {
    for (auto& [i, h] : pendingBlock_) {
        dr::ObjectIndex b = index(h);
        if (!db_.get<dr::BlockRecord>(b)) b = 0;
        if (auto* r = db_.get<dr::BlockReference>(i))
            r->block = b;
        else if (auto* d = db_.get<dr::Dimension>(i))
            d->block = b;
    }
    db_.ensureStructure();
    dr::ObjectIndex l = index(d_.header.clayer);
    if (db_.get<dr::LayerRecord>(l)) db_.currentLayer = l;
    dr::ObjectIndex s = index(d_.header.textstyle);
    if (db_.get<dr::TextStyleRecord>(s)) db_.currentTextStyle = s;
    for (dr::ObjectIndex b : db_.blocks()) {
        auto* br = db_.get<dr::BlockRecord>(b);
        if (!br->beginHandle) br->beginHandle = db_.newHandle();
        if (!br->endHandle) br->endHandle = db_.newHandle();
    }
}

}  // namespace detail

using detail::Adapter;
using detail::codePageName;
using detail::Skipped;

dr::ReadResult readDwg(dr::Database& db, std::string_view bytes) {
    dr::ReadResult result;
    if (db.objectCount() != 0) {
        result.status = dr::Status::InvalidInput;
        result.message = "DWG read error: the database is not empty";
        return result;
    }
    Drawing d;
    ReadOptions options;
    // Texts before 2007 in the drawing's code page, decoded as the DXF reader decodes them.
    dr::TextDecoder decoder;
    int decoderPage = -1;
    options.decodeCodePage = [&](std::string_view text, int page) {
        if (page != decoderPage) {
            decoder.setCodePage(codePageName(page), false);
            decoderPage = page;
        }
        return decoder.decode(text);
    };
    DecodeResult decoded = decode(bytes, d, options);
    if (decoded.status != Status::Ok) {
        result.status =
            decoded.status == Status::Encrypted ? dr::Status::Encrypted : dr::Status::ReadError;
        result.message = decoded.message;
        return result;
    }
    Adapter a(d, db);
    const Skipped skipped = a.run();
    result.skippedEntities = skipped.entities + int(d.skippedEntities);
    result.skippedOthers = skipped.others + int(d.skipped() - d.skippedEntities);
    return result;
}

bool isDwgContent(std::string_view head) {
    return looksLikeDwg(head) || isProtectionWrapper(head);
}

dr::ReadResult readDwgFile(dr::Database& db, const std::string& path) {
    std::string bytes, error;
    if (!qks::readFileBytes(path, bytes, &error))
        return {dr::Status::ReadError, "cannot read " + path + ": " + error, 0};
    return readDwg(db, bytes);
}

}  // namespace qkshost::dwg
