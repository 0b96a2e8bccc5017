#!/usr/bin/python3
"""Part extraction rebuilt on ezdxf and shapely alone, to check qksparts against.

The method is deliberately plain, so that it shares no code and few ideas with the C++
extractor: flatten every cut curve of model space to millimetres, join near ends, node
everything with shapely, polygonize, and call a face a part or a hole by how many other faces
enclose it (even: part, odd: hole).

usage:
  reference_extraction.py --reference DRAWING [--units auto|mm|inch] [--skip L1,L2]
      the parts and holes this method sees in one drawing, one line per part
  reference_extraction.py --self-check FIXTURE_DIR
      this method's counts against FIXTURE_DIR/expected.tsv
  reference_extraction.py --check PARTS_TOOL FIXTURE_DIR [--only FILE]
      runs `PARTS_TOOL FILE` for every row of FIXTURE_DIR/expected.tsv, reads the parts file it
      prints, and compares it with the expected counts and with this method's parts; one line
      per drawing, a closing "N passed, N failed" line, exit status 1 on any failure
As a library: extract(path) gives the parts, compare(parts_text, parts) the differences.
"""
import atexit
import gzip
import math
import os
import re
import shlex
import signal
import shutil
import subprocess
import sys
import tempfile

import ezdxf
from ezdxf import path as ezpath
from shapely.geometry import LineString, MultiLineString, Polygon
from shapely.ops import linemerge, polygonize, unary_union
from shapely.prepared import prep

CHORD = 0.01            # mm, largest distance between a curve and its flattened chords
JOIN_TOL = 0.6          # mm, open ends closer than this are one point
SLIVER = 0.6            # mm, faces with 2*area/perimeter under this are not material
MIN_AREA = 0.5          # mm2
MIN_SIZE = 1.0          # mm, bounding box width and height
HAUSDORFF_TOL = 0.05    # mm
AREA_TOL = 0.005        # relative
PERIMETER_TOL = 0.01    # relative
CONTAIN_TOL = 1e-6      # mm
# A parts file prints millimetres with 3 decimals: each coordinate may be off by half a unit.
PRINT_ROUNDING = 0.0005 * math.sqrt(2.0)

UNIT_SCALE = {1: 25.4, 2: 304.8, 4: 1.0, 5: 10.0, 6: 1000.0}
CURVES = {"LINE", "ARC", "CIRCLE", "ELLIPSE", "LWPOLYLINE", "POLYLINE", "SPLINE"}
SKIP_LAYER_WORDS = ("dim", "dimension", "text", "center", "centre", "hidden", "construction",
                    "border", "frame", "title", "hatch", "bend", "fold", "defpoints", "标注", "尺寸",
                    "中心", "虚线", "辅助", "构造", "图框", "标题", "填充", "剖面", "折弯", "折线",
                    "文字", "rahmen", "schriftfeld", "plankopf")
# Words of dimension and axis layers. A layer whose skip words are all among these is kept for
# its closed curves that lie in a part's material: holes drawn on a "dim" layer are still cut.
ANNOTATION_WORDS = ("dim", "annotation", "标注", "尺寸", "center", "centre", "中心")
SKIP_LINETYPE_WORDS = ("CENTER", "HIDDEN", "DASHED", "PHANTOM")
FRAME_BLOCK_RE = re.compile(r"图框|frame|title|tk|border|a[0-4]")


# --- reading -------------------------------------------------------------------------------

def header_insunits(path):
    """$INSUNITS as written in the file's HEADER section, or None when it is not there.

    ezdxf fills a missing header with its own defaults (metres for $INSUNITS), which must not
    be mistaken for what the drawing says."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"AutoCAD Binary DXF"):
        doc = read_drawing(path)
        return doc.header.get("$INSUNITS") if "$INSUNITS" in doc.header else None
    lines = data.decode("latin-1").splitlines()
    in_header = False
    for i in range(0, len(lines) - 1):
        code, value = lines[i].strip(), lines[i + 1].strip()
        if code == "2" and value == "HEADER":
            in_header = True
        elif code == "0" and value == "ENDSEC" and in_header:
            return None
        elif in_header and code == "9" and value == "$INSUNITS" and i + 3 < len(lines):
            try:
                return int(lines[i + 3].strip())
            except ValueError:
                return None
    return None


def read_drawing(path):
    """The drawing, read strictly; files whose tags stand out of the usual order (old OpenSCAD
    writes a LINE as 10 11 20 21) go through ezdxf's tolerant reader instead."""
    try:
        return ezdxf.readfile(path)
    except ezdxf.DXFStructureError:
        from ezdxf import recover
        doc, _ = recover.readfile(path)
        return doc


def unit_scale(path, units="auto"):
    if units == "mm":
        return 1.0
    if units == "inch":
        return 25.4
    return UNIT_SCALE.get(header_insunits(path) or 0, 1.0)


def _layer_skipped(name, extra_skip):
    low = name.lower()
    return low in extra_skip or any(w in low for w in SKIP_LAYER_WORDS)


def _annotation_layer(name, extra_skip):
    low = name.lower()
    if low in extra_skip:
        return False
    words = [w for w in SKIP_LAYER_WORDS if w in low]
    return bool(words) and all(any(a in w for a in ANNOTATION_WORDS) for w in words)


def _linetype_skipped(name):
    up = (name or "").upper()
    return any(w in up for w in SKIP_LINETYPE_WORDS)


def cut_entities(doc, extra_skip=()):
    """Model-space curves that are cut, block references expanded (every reference, named,
    anonymous or nested, adds its curves to the loose ones), and apart from them the curves of
    annotation layers that may still be cut: (cut, annotation)."""
    extra = {s.lower() for s in extra_skip}
    layers = {}
    for layer in doc.layers:
        layers[layer.dxf.name.lower()] = layer

    def layer_hidden(name):
        layer = layers.get(name.lower())
        return layer is not None and (layer.is_off() or layer.is_frozen())

    def layer_linetype(name):
        layer = layers.get(name.lower())
        return layer.dxf.get("linetype", "CONTINUOUS") if layer is not None else "CONTINUOUS"

    out, annotation = [], []

    def walk(entities, parent_layer, parent_linetype, depth):
        for e in entities:
            kind = e.dxftype()
            if kind not in CURVES and kind != "INSERT":
                continue
            layer = e.dxf.get("layer", "0")
            # Geometry on layer 0 inside a block takes the reference's layer, BYBLOCK linetypes
            # the reference's linetype.
            if layer == "0" and parent_layer is not None:
                layer = parent_layer
            linetype = e.dxf.get("linetype", "BYLAYER")
            if linetype.upper() == "BYBLOCK":
                linetype = parent_linetype or "BYLAYER"
            if linetype.upper() == "BYLAYER":
                linetype = layer_linetype(layer)
            if e.dxf.get("invisible", 0) or layer_hidden(layer):
                continue
            if _linetype_skipped(linetype):
                continue
            if _layer_skipped(layer, extra):
                if kind != "INSERT" and _annotation_layer(layer, extra):
                    if kind != "POLYLINE" or e.is_2d_polyline:
                        annotation.append(e)
                continue
            if kind == "INSERT":
                if FRAME_BLOCK_RE.search(e.dxf.name.lower()) or depth > 16:
                    continue
                inserts = list(e.multi_insert()) if e.mcount > 1 else [e]
                for ins in inserts:
                    try:
                        children = list(ins.virtual_entities())
                    except Exception:  # a reference that cannot be transformed draws nothing
                        continue
                    walk(children, layer, linetype, depth + 1)
                continue
            if kind == "POLYLINE" and not e.is_2d_polyline:
                continue
            out.append(e)

    walk(doc.modelspace(), None, None, 0)
    return out, annotation


def flatten(entity, scale):
    """The entity's curve as a list of (x, y) in mm, chords within CHORD of the curve."""
    try:
        p = ezpath.make_path(entity)
    except Exception:
        return []
    if len(p) == 0 and entity.dxftype() != "LINE":
        return []
    pts = [(v.x * scale, v.y * scale) for v in p.flattening(CHORD / scale, segments=8)]
    clean = []
    for q in pts:
        if not clean or abs(q[0] - clean[-1][0]) > 1e-9 or abs(q[1] - clean[-1][1]) > 1e-9:
            clean.append(q)
    return clean


# --- geometry ------------------------------------------------------------------------------

def _grid(v):
    # Ends equal but for rounding (block transforms, doubled loops) become exactly equal.
    return round(v, 6)


def join_ends(polylines, tol=JOIN_TOL):
    """Moves every open end (an end that meets no other end exactly) onto the nearest other end
    within tol. Ends that already meet stay put, so a chain of short segments never shrinks."""
    nodes = {}
    keys = []
    for pl in polylines:
        a = (_grid(pl[0][0]), _grid(pl[0][1]))
        b = (_grid(pl[-1][0]), _grid(pl[-1][1]))
        nodes[a] = nodes.get(a, 0) + 1
        nodes[b] = nodes.get(b, 0) + 1
        keys.append((a, b))
    cell = {}
    for k in nodes:
        cell.setdefault((math.floor(k[0] / tol), math.floor(k[1] / tol)), []).append(k)
    parent = {k: k for k in nodes}

    def find(k):
        while parent[k] != k:
            parent[k] = parent[parent[k]]
            k = parent[k]
        return k

    for k, degree in nodes.items():
        if degree != 1:
            continue
        cx, cy = math.floor(k[0] / tol), math.floor(k[1] / tol)
        best, best_d = None, tol
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for o in cell.get((cx + dx, cy + dy), ()):
                    if o == k:
                        continue
                    d = math.hypot(o[0] - k[0], o[1] - k[1])
                    if d < best_d:
                        best, best_d = o, d
        if best is not None:
            parent[find(k)] = find(best)
    members = {}
    for k in nodes:
        members.setdefault(find(k), []).append(k)
    where = {}
    for root, ks in members.items():
        fixed = [k for k in ks if nodes[k] != 1] or ks
        x = sum(k[0] for k in fixed) / len(fixed)
        y = sum(k[1] for k in fixed) / len(fixed)
        for k in ks:
            where[k] = (x, y)
    out = []
    for pl, (a, b) in zip(polylines, keys):
        inner = [(_grid(x), _grid(y)) for x, y in pl[1:-1]]
        q = [where[a]] + inner + [where[b]]
        dedup = [q[0]]
        for p in q[1:]:
            if p != dedup[-1]:
                dedup.append(p)
        if len(dedup) >= 2:
            out.append(dedup)
    return out


def _is_sliver(poly):
    return poly.length <= 0 or 2.0 * poly.area / poly.length < SLIVER


def _too_small(poly):
    minx, miny, maxx, maxy = poly.bounds
    return poly.area < MIN_AREA or maxx - minx < MIN_SIZE or maxy - miny < MIN_SIZE


def faces_to_parts(faces):
    kept = [f for f in faces if f.is_valid and not f.is_empty and not _is_sliver(f)]
    shells = [prep(Polygon(f.exterior)) for f in kept]
    parts = []
    for i, f in enumerate(kept):
        probe = f.representative_point()
        depth = sum(1 for j, s in enumerate(shells) if j != i and s.contains(probe))
        if depth % 2:
            continue
        holes = [list(r.coords)[:-1] for r in f.interiors if not _too_small(Polygon(r))]
        outline = list(f.exterior.coords)[:-1]
        poly = Polygon(outline, holes)
        if _too_small(Polygon(outline)):
            continue
        parts.append({"outline": outline, "holes": holes, "polygon": poly, "depth": depth})
    parts.sort(key=lambda p: (round(p["polygon"].bounds[0], 3), round(p["polygon"].bounds[1], 3)))
    return parts


def _closed_rings(polylines, join_tol):
    """The closed rings the polylines draw on their own: joined end to end, then merged into
    runs where ends meet (not noded: a centre mark crossing a circle leaves the circle whole);
    a run that comes back to its start is a ring."""
    lines = [LineString(pl) for pl in join_ends(polylines, join_tol)]
    if not lines:
        return []
    merged = linemerge(MultiLineString(lines))
    runs = list(getattr(merged, "geoms", [merged]))
    return [r for r in runs if r.is_ring or (len(r.coords) > 3 and r.coords[0] == r.coords[-1])]


def extract(path, units="auto", skip_layers=(), join_tol=JOIN_TOL):
    """Parts of a drawing: list of dicts with 'outline' [(x, y)], 'holes' [[(x, y)]] and the
    shapely 'polygon', all in mm in the drawing's own position."""
    doc = read_drawing(path)
    scale = unit_scale(path, units)
    cut, annotation = cut_entities(doc, skip_layers)
    polylines = [pts for pts in (flatten(e, scale) for e in cut) if len(pts) >= 2]
    parts = _parts_of(polylines, join_tol)
    notes = [pts for pts in (flatten(e, scale) for e in annotation) if len(pts) >= 2]
    if parts and notes:
        # Closed curves of annotation layers lying in a part's material are its cut-outs.
        taken = [list(r.coords) for r in _closed_rings(notes, join_tol)
                 if any(p["polygon"].contains(r) for p in parts)]
        if taken:
            parts = _parts_of(polylines + taken, join_tol)
    return parts


def _parts_of(polylines, join_tol):
    polylines = join_ends(polylines, join_tol)
    # The same curve drawn twice (doubled loops) would otherwise leave overlapping edges.
    seen, lines = set(), []
    for pl in polylines:
        key = tuple(sorted(pl))
        if key in seen:
            continue
        seen.add(key)
        lines.append(LineString(pl))
    if not lines:
        return []
    noded = unary_union(lines)
    return faces_to_parts(list(polygonize(noded)))


# --- parts files ---------------------------------------------------------------------------

def _ring(text):
    pts = []
    for pair in text.split(";"):
        if pair.strip():
            x, y = pair.split(",")
            pts.append((float(x), float(y)))
    return pts


def parse_parts(text):
    """A parts file's kinds: list of dicts with id, quantity, area, name, scale (the optional
    last field, as text, or None), outline, holes and the shapely polygon."""
    kinds, by_id = [], {}
    lines = text.splitlines()
    if not lines or not lines[0].startswith("# QKS-PARTS 2"):
        raise ValueError("not a parts file (first line %r)" % (lines[0] if lines else ""))
    for n, line in enumerate(lines[1:], 2):
        if not line.strip() or line.startswith("#"):
            continue
        f = line.split("\t")
        tag = f[0]
        if tag == "P":
            if len(f) < 11:
                raise ValueError("line %d: P line with %d fields" % (n, len(f)))
            kind = {"id": f[1], "quantity": int(f[2]), "area": float(f[3]), "name": f[10],
                    "scale": f[11] if len(f) > 11 else None,
                    "outline": None, "holes": []}
            kinds.append(kind)
            by_id[f[1]] = kind
        elif tag in ("O", "H"):
            if len(f) != 3 or f[1] not in by_id:
                raise ValueError("line %d: %s line without its part" % (n, tag))
            ring = _ring(f[2])
            if tag == "O":
                by_id[f[1]]["outline"] = ring
            else:
                by_id[f[1]]["holes"].append(ring)
        else:
            raise ValueError("line %d: unknown line %r" % (n, tag))
    for k in kinds:
        if k["outline"] and len(k["outline"]) >= 3:
            k["polygon"] = Polygon(k["outline"], [h for h in k["holes"] if len(h) >= 3])
        else:
            k["polygon"] = None
    return kinds


def _close(a, b, rel):
    return abs(a - b) <= rel * max(abs(a), abs(b), 1e-9)


def _same_shape(kind, ref):
    poly = kind["polygon"]
    if poly is None or len(kind["holes"]) != len(ref["holes"]):
        return False
    rp = ref["polygon"]
    # A part's outline stands up to CHORD outside its curves and its holes as far inside them
    # (the nest keeps that margin), which on a small part is more than AREA_TOL of its area.
    margin = (CHORD + PRINT_ROUNDING) * rp.length
    return (abs(poly.area - rp.area) <= AREA_TOL * max(poly.area, rp.area) + margin and
            _close(poly.length, rp.length, PERIMETER_TOL))


def _within_hausdorff(a, b, tol):
    """Whether the Hausdorff distance of two linear geometries is at most tol: each lies in
    the other's tol band. Exact for the curves as drawn, unlike a vertex-only distance, and
    fast on outlines of thousands of short segments."""
    return b.buffer(tol, 8).covers(a) and a.buffer(tol, 8).covers(b)


def _assign(kinds, refs):
    """Every reference part onto a kind of the same shape, no kind taking more pieces than its
    quantity (bipartite matching). Returns the reference parts left without a kind."""
    slots = [i for i, k in enumerate(kinds) for _ in range(max(k["quantity"], 0))]
    fits = [[s for s, ki in enumerate(slots) if _same_shape(kinds[ki], r)] for r in refs]
    owner = [None] * len(slots)

    def augment(r, seen):
        for s in fits[r]:
            if s in seen:
                continue
            seen.add(s)
            if owner[s] is None or augment(owner[s], seen):
                owner[s] = r
                return True
        return False

    sys.setrecursionlimit(max(1000, 4 * len(refs) + 100))
    return [r for r in range(len(refs)) if not augment(r, set())]


def compare(parts_text, refs, expected=None):
    """Differences between a parts file and the reference parts (and the expected counts, a
    dict with 'parts' and 'holes'); an empty list when they agree. The drawing's unit is checked
    through the geometry: outlines in mm must lie on the reference's."""
    problems = []
    try:
        kinds = parse_parts(parts_text)
    except ValueError as ex:
        return ["unreadable parts file: %s" % ex]
    pieces = sum(k["quantity"] for k in kinds)
    holes = sum(k["quantity"] * len(k["holes"]) for k in kinds)
    ref_holes = sum(len(r["holes"]) for r in refs)
    if expected is not None:
        if pieces != expected["parts"]:
            problems.append("parts %d, expected %d" % (pieces, expected["parts"]))
        if holes != expected["holes"]:
            problems.append("holes %d, expected %d" % (holes, expected["holes"]))
    if pieces != len(refs):
        problems.append("parts %d, reference %d" % (pieces, len(refs)))
    if holes != ref_holes:
        problems.append("holes %d, reference %d" % (holes, ref_holes))
    for k in kinds:
        poly = k["polygon"]
        if poly is None:
            problems.append("part %s has no outline" % k["id"])
            continue
        if not poly.is_valid:
            problems.append("part %s outline is not a valid polygon" % k["id"])
            poly = poly.buffer(0)
            if poly.geom_type != "Polygon":
                poly = max(getattr(poly, "geoms", []), key=lambda g: g.area, default=None)
                if poly is None:
                    continue
        # Parts are matched by where their outlines stand, holes ignored: a part lying in
        # another part's hole overlaps that part's shell, not its material.
        shell = Polygon(poly.exterior)
        over = []
        for i, r in enumerate(refs):
            ref_shell = Polygon(r["polygon"].exterior)
            if shell.intersects(ref_shell):
                common = shell.intersection(ref_shell).area
                over.append((common / max(shell.union(ref_shell).area, 1e-12), i))
        if not over or max(over)[0] <= 0:
            problems.append("part %s at %s overlaps no reference part"
                            % (k["id"], _fmt_bounds(poly)))
            continue
        ref = refs[max(over)[1]]
        rp = ref["polygon"]
        if len(k["holes"]) != len(ref["holes"]):
            problems.append("part %s at %s has %d holes, reference %d"
                            % (k["id"], _fmt_bounds(poly), len(k["holes"]), len(ref["holes"])))
        if not _within_hausdorff(poly.boundary, rp.boundary, HAUSDORFF_TOL):
            problems.append("part %s at %s is %.3f mm off the reference outline"
                            % (k["id"], _fmt_bounds(poly),
                               poly.boundary.hausdorff_distance(rp.boundary)))
        # The reference's own chords sit up to CHORD inside its curves and the file rounds
        # to 3 decimals, so that much of the reference may stand outside an exact outline.
        core = rp.buffer(-(CHORD + PRINT_ROUNDING), join_style=2)
        outside = core.difference(poly.buffer(CONTAIN_TOL, join_style=2)).area
        if outside > 1e-9:
            problems.append("part %s at %s leaves %.6f mm2 of the reference part outside"
                            % (k["id"], _fmt_bounds(poly), outside))
    lost = _assign(kinds, refs)
    for r in lost[:5]:
        rp = refs[r]["polygon"]
        problems.append("reference part at %s (area %.2f, %d holes) matches no part kind"
                        % (_fmt_bounds(rp), rp.area, len(refs[r]["holes"])))
    return problems


def _fmt_bounds(poly):
    b = poly.bounds
    return "(%.2f,%.2f)-(%.2f,%.2f)" % b


# --- corpus --------------------------------------------------------------------------------

def read_expected(fixture_dir):
    rows = []
    with open(os.path.join(fixture_dir, "expected.tsv"), encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) < 5:
                raise ValueError("expected.tsv line %d: %d fields" % (n, len(fields)))
            units = fields[1]
            if units not in ("mm", "inch"):
                raise ValueError("expected.tsv line %d: units %r" % (n, units))
            skip = [] if fields[4] in ("-", "") else fields[4].split(",")
            rows.append({"file": fields[0], "units": units, "parts": int(fields[2]),
                         "holes": int(fields[3]), "skip": skip,
                         "note": fields[5] if len(fields) > 5 else ""})
    return rows


_unpacked = {}


def drawing_path(fixture_dir, name):
    """The drawing as a file: the corpus keeps large drawings gzip-packed (NAME.gz), unpacked
    once per run into a folder removed at exit."""
    path = os.path.join(fixture_dir, name)
    if os.path.exists(path) or not os.path.exists(path + ".gz"):
        return path
    if path not in _unpacked:
        if not _unpacked:
            folder = tempfile.mkdtemp(prefix="qks-real-")
            atexit.register(shutil.rmtree, folder, True)
            _unpacked[None] = folder
        target = os.path.join(_unpacked[None], name)
        with gzip.open(path + ".gz", "rb") as src, open(target, "wb") as dst:
            shutil.copyfileobj(src, dst)
        _unpacked[path] = target
    return _unpacked[path]


def _reference_for(row, fixture_dir):
    path = drawing_path(fixture_dir, row["file"])
    return extract(path, row["units"], row["skip"])


def self_check(fixture_dir):
    failed = 0
    rows = read_expected(fixture_dir)
    for row in rows:
        refs = _reference_for(row, fixture_dir)
        holes = sum(len(r["holes"]) for r in refs)
        ok = len(refs) == row["parts"] and holes == row["holes"]
        failed += not ok
        print("%s %s reference parts=%d holes=%d expected parts=%d holes=%d"
              % ("OK  " if ok else "FAIL", row["file"], len(refs), holes, row["parts"],
                 row["holes"]))
    print("%d passed, %d failed" % (len(rows) - failed, failed))
    return 1 if failed else 0


def check(tool, fixture_dir, only=None, timeout=300):
    failed = 0
    rows = [r for r in read_expected(fixture_dir) if only is None or r["file"] == only]
    if not rows:
        print("FAIL no row for %s" % only)
        return 1
    for row in rows:
        path = drawing_path(fixture_dir, row["file"])
        command = shlex.split(tool)
        # A drawing that does not say its unit cannot be told from its numbers alone; a user
        # names the unit, so the check does too (only then, and only when it is not mm).
        if row["units"] == "inch" and not header_insunits(path):
            command += ["--units", "inch"]
        try:
            run = subprocess.run(command + [path], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            print("FAIL %s: no answer within %d s" % (row["file"], timeout))
            failed += 1
            continue
        except OSError as ex:
            print("FAIL %s: cannot run %s: %s" % (row["file"], command[0], ex))
            failed += 1
            continue
        if run.returncode != 0:
            print("FAIL %s: exit status %d: %s" % (row["file"], run.returncode,
                                                    run.stderr.decode("utf-8", "replace")
                                                    .strip()[:300]))
            failed += 1
            continue
        try:
            refs = _reference_for(row, fixture_dir)
        except Exception as ex:  # a drawing the reference cannot read fails its row only
            print("FAIL %s: reference: %s" % (row["file"], ex))
            failed += 1
            continue
        problems = compare(run.stdout.decode("utf-8", "replace"), refs, row)
        if problems:
            failed += 1
            print("FAIL %s: %s" % (row["file"], "; ".join(problems)))
        else:
            print("OK   %s parts=%d holes=%d" % (row["file"], row["parts"], row["holes"]))
    print("%d passed, %d failed" % (len(rows) - failed, failed))
    return 1 if failed else 0


def print_reference(path, units="auto", skip=()):
    refs = extract(path, units, skip)
    print("%s: parts=%d holes=%d (units scale %g)"
          % (path, len(refs), sum(len(r["holes"]) for r in refs), unit_scale(path, units)))
    for i, r in enumerate(refs, 1):
        p = r["polygon"]
        print("  %d: area %.2f mm2, %d holes, bounds %s%s"
              % (i, p.area, len(r["holes"]), _fmt_bounds(p),
                 ", inside a hole (depth %d)" % r["depth"] if r["depth"] else ""))
    return 0


def main(argv):
    args = list(argv)
    units, skip, only = "auto", [], None
    if "--only" in args:
        i = args.index("--only")
        only = args[i + 1]
        del args[i:i + 2]
    if "--units" in args:
        i = args.index("--units")
        units = args[i + 1]
        del args[i:i + 2]
    if "--skip" in args:
        i = args.index("--skip")
        skip = [s for s in args[i + 1].split(",") if s]
        del args[i:i + 2]
    if len(args) == 2 and args[0] == "--reference":
        return print_reference(args[1], units, skip)
    if len(args) == 2 and args[0] == "--self-check":
        return self_check(args[1])
    if len(args) == 3 and args[0] == "--check":
        return check(args[1], args[2], only)
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quiet when piped into head
    sys.exit(main(sys.argv[1:]))
