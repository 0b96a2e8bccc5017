#include "entity_common_writer.h"

namespace qkshost::dxf::detail {

void EntityCommonWriter::common(const Entity& e, bool paper, std::string_view type) {
    o_.str(0, type.empty() ? std::string_view(e.dxfName()) : type);
    o_.handle(5, e.handle);
    o_.handle(330, ctx_.h(e.owner));
    o_.str(100, "AcDbEntity");
    if (paper) o_.integer(67, 1);
    o_.str(8, db_.layerName(e));
    if (auto* lt = db_.get<LinetypeRecord>(e.linetype))
        if (!lt->erased) o_.str(6, lt->name);
    if (e.color != 256) o_.integer(62, e.color);
    if (e.trueColor >= 0) o_.integer(420, e.trueColor);
    if (e.lineweight != -1) o_.integer(370, e.lineweight);
    if (e.linetypeScale != 1) o_.num(48, e.linetypeScale);
    if (e.invisible) o_.integer(60, 1);
}

void EntityCommonWriter::seqend(ObjectIndex si, const Entity& owner, bool paper) {
    auto* s = db_.get<SeqEnd>(si);
    o_.str(0, "SEQEND");
    o_.handle(5, s && !s->erased ? s->handle : ctx_.seed++);
    o_.handle(330, owner.handle);
    o_.str(100, "AcDbEntity");
    if (paper) o_.integer(67, 1);
    o_.str(8, db_.layerName(owner));
}

}  // namespace qkshost::dxf::detail
