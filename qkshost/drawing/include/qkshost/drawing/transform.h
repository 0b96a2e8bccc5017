// Entities placed through a transform: texts put where a block reference shows them, and block
// references exploded into copies of their block's entities.
#pragma once

#include <vector>

#include "qkshost/drawing/database.h"

namespace qkshost::drawing {

// Moves a TEXT, ATTRIB or ATTDEF by `m` (block space to the reference's space): position,
// alignment point, direction and height follow; a mirroring transform gives backward text, so
// the text stands as the reference shows it. A non-uniform transform stretches the height by
// the scale across the text and the width factor by the ratio of the scales along and across.
void transformText(TextBase& text, const Matrix3d& m);

// Replaces the block reference `reference` by copies of its block's entities placed as the
// reference places them, appended to the reference's owner; its attributes become TEXT
// entities. Copies on layer "0" take the reference's layer; colour, line type and line weight
// "ByBlock" take the reference's. Nested references stay references (placed through the
// transform); a nested dimension gets a geometry block of its own. `created` (when given)
// receives the new entities, block order first, then the attribute texts.
// WrongType when `reference` is no block reference; NotApplicable, with nothing changed, for a
// reference that is scaled unevenly, arrayed or an external reference, or whose block holds an
// entity that cannot be placed (kept as raw DXF data, a hatch boundary edge of an unknown
// kind).
Status explodeReference(Database& db, ObjectIndex reference,
                        std::vector<ObjectIndex>* created = nullptr);

}  // namespace qkshost::drawing
