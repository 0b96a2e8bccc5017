// Copying between databases: a whole drawing inserted into another as a block, and chosen
// entities written out to a new drawing with a base point. Symbol table records the entities
// need (layers, text styles, linetypes, dimension styles, nested blocks) are carried along; a
// record whose name exists in the target is used as the target has it. Every copied object
// gets a new handle of the target. Entities of types the host does not model are carried when
// their data holds no links to other objects; the others are counted in `notCarried`.
#pragma once

#include "qkshost/drawing/database.h"

#include <memory>
#include <string>
#include <vector>

namespace qkshost::drawing {

struct CopyReport {
    int copied = 0;      // entities copied, block contents included, vertices and attributes not
    int notCarried = 0;  // entities that could not move to the other drawing
    // "N entities of types that cannot be copied were left out" when notCarried > 0
    std::string warning() const;
};

// Model space of `source` becomes the new block `name` of `target`, with the source's insertion
// base point ($INSBASE) as its base point. Duplicate when the name exists, InvalidInput for a
// name the host does not accept.
Status insertAsBlock(Database& target, const Database& source, std::string_view name,
                     ObjectIndex* block = nullptr, CopyReport* report = nullptr);

// A new drawing (with the default structure) holding copies of the given model-space
// entities, its $INSBASE set to `base`. InvalidInput when no id names an entity.
Status writeBlockOut(const Database& source, const std::vector<ObjectIndex>& entities,
                     const Point3d& base, std::unique_ptr<Database>& out,
                     CopyReport* report = nullptr);

}  // namespace qkshost::drawing
