#include "block_reader.h"

namespace qkshost::dxf::detail {

void BlockReader::readBlocks() {
    ctx_.beginSection();
    Tag t;
    while (true) {
        in_.expectNext(t, "BLOCKS");
        if (t.is(0, "ENDSEC")) return;
        if (!t.is(0, "BLOCK")) in_.fail(t, "expected BLOCK, found '" + in_.shown(t) + "'");
        std::size_t blockLine = t.pos;
        in_.readRecord("BLOCK");
        std::string name, xref, desc;
        Handle h = 0;
        Point3d base;
        int flags = 0;
        for (auto& g : tags_) {
            switch (g.code) {
                case 2:
                    name = in_.str(g);
                    break;
                case 3:
                    if (name.empty()) name = in_.str(g);
                    break;
                case 5:
                    h = in_.handle(g);
                    break;
                case 70:
                    flags = in_.int32(g);
                    break;
                case 1:
                    xref = in_.str(g);
                    break;
                case 4:
                    desc = in_.str(g);
                    break;
                case 10:
                    base.x = in_.num(g);
                    break;
                case 20:
                    base.y = in_.num(g);
                    break;
                case 30:
                    base.z = in_.num(g);
                    break;
                default:
                    break;
            }
        }
        if (name.empty()) in_.failAt(blockLine, "BLOCK without a name");
        ObjectIndex rec = db_.findBlock(name);
        if (rec && blocksSeen_.count(rec)) {
            in_.warn();  // second definition of a name: its entities go to a fresh block
            rec = 0;
            name += "_" + std::to_string(++duplicates_);
        }
        if (!rec) {
            auto b = std::make_unique<BlockRecord>();
            b->name = name;
            rec = db_.add(std::move(b));
            db_.addToTable(rec);
        }
        blocksSeen_[rec] = true;
        auto* br = db_.get<BlockRecord>(rec);
        br->base = base;
        br->flags = flags;
        br->xrefPath = xref;
        br->description = desc;
        br->beginHandle = ctx_.claimHandle(h);
        while (true) {
            in_.expectNext(t, "BLOCK");
            if (t.is(0, "ENDBLK")) break;
            if (t.code != 0) in_.fail(t, "unexpected '" + in_.shown(t) + "' in block");
            if (t.is(0, "ENDSEC") || t.is(0, "EOF") || t.is(0, "BLOCK"))
                in_.fail(t, "block " + name + " without ENDBLK");
            entities_.readEntity(t, rec);
        }
        in_.readRecord("ENDBLK");
        Handle eh = 0;
        for (auto& g : tags_)
            if (g.code == 5) eh = in_.handle(g);
        br->endHandle = ctx_.claimHandle(eh);
    }
}

}  // namespace qkshost::dxf::detail
