#!/usr/bin/env python3
"""Makes every asset file of vorbel except the GUI font (which comes from npm).

    python3 tools/gen_assets.py [--out DIR] [--icons DIR]
        (default: assets/ and packaging/icons/ beside tools/)

Everything is computed from code with the standard library only, and the output is
deterministic: the same bytes on every run, so the committed files can be checked
against a fresh run. Floating-point values are rounded before they are written, noise
comes from a fixed-seed generator of our own, and the PNG is written with stored
(uncompressed) deflate blocks so that the bytes do not depend on the zlib build.
"""

import argparse
import math
import os
import struct
import zlib

# ------------------------------------------------------------------ small helpers


def fmt(x):
    """A float as OBJ/MTL text, fixed precision, never "-0"."""
    s = "%.5f" % x
    if s.startswith("-") and float(s) == 0.0:
        s = s[1:]
    return s


def v_add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def v_sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def v_scale(a, k):
    return (a[0] * k, a[1] * k, a[2] * k)


def v_dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def v_cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def v_norm(a):
    length = math.sqrt(v_dot(a, a))
    if length == 0.0:
        return (0.0, 1.0, 0.0)
    return (a[0] / length, a[1] / length, a[2] / length)


def smoothstep(e0, e1, x):
    t = min(max((x - e0) / (e1 - e0), 0.0), 1.0)
    return t * t * (3.0 - 2.0 * t)


class Rng:
    """xorshift64*: a fixed sequence on every platform and Python version."""

    def __init__(self, seed):
        self.state = (seed * 0x9E3779B97F4A7C15 + 1) & 0xFFFFFFFFFFFFFFFF

    def next_u64(self):
        x = self.state
        x ^= x >> 12
        x ^= (x << 25) & 0xFFFFFFFFFFFFFFFF
        x ^= x >> 27
        self.state = x
        return (x * 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF

    def uniform(self):
        """[-1, 1)"""
        return (self.next_u64() >> 11) / float(1 << 52) - 1.0


# ------------------------------------------------------------------ OBJ / MTL


class Material:
    def __init__(self, name, rgb, ks, ns):
        self.name = name
        self.kd = tuple(c / 255.0 for c in rgb)
        self.ks = ks
        self.ns = ns


class ObjModel:
    """Triangles grouped by material; every vertex carries its own position,
    texture coordinate and normal, so "f i/i/i" indexes all three alike."""

    def __init__(self, name, materials):
        self.name = name
        self.materials = materials
        self.positions = []
        self.uvs = []
        self.normals = []
        self.faces = {m.name: [] for m in materials}

    def vertex(self, p, n, uv=(0.0, 0.0)):
        self.positions.append(p)
        self.normals.append(v_norm(n))
        self.uvs.append(uv)
        return len(self.positions)  # OBJ indices start at 1

    def tri(self, material, a, b, c):
        self.faces[material].append((a, b, c))

    def quad(self, material, a, b, c, d):
        """a b c d counter-clockwise seen from the front."""
        self.tri(material, a, b, c)
        self.tri(material, a, c, d)

    def flat_quad(self, material, corners, uv_of=None):
        """A planar quad with one normal taken from its winding."""
        a, b, c, d = corners
        n = v_norm(v_cross(v_sub(b, a), v_sub(d, a)))
        ids = [self.vertex(p, n, uv_of(p) if uv_of else (0.0, 0.0)) for p in corners]
        self.quad(material, *ids)

    def check_winding(self):
        """Every triangle must face the way its vertex normals point, or back-face
        culling would eat it; catching that here is cheaper than in a screenshot."""
        for name, tris in self.faces.items():
            for a, b, c in tris:
                pa, pb, pc = (self.positions[i - 1] for i in (a, b, c))
                face = v_cross(v_sub(pb, pa), v_sub(pc, pa))
                if v_dot(face, face) < 1e-18:
                    raise ValueError("%s: degenerate triangle in %s" % (self.name, name))
                avg = v_add(v_add(self.normals[a - 1], self.normals[b - 1]), self.normals[c - 1])
                if v_dot(face, avg) <= 0.0:
                    raise ValueError("%s: triangle in %s faces inwards" % (self.name, name))

    def obj_text(self):
        self.check_winding()
        out = ["# %s, made by tools/gen_assets.py" % self.name,
               "mtllib %s.mtl" % self.name]
        for p in self.positions:
            out.append("v %s %s %s" % tuple(fmt(c) for c in p))
        for t in self.uvs:
            out.append("vt %s %s" % tuple(fmt(c) for c in t))
        for n in self.normals:
            out.append("vn %s %s %s" % tuple(fmt(c) for c in n))
        # One object per material, in the material library's order: a loader that makes
        # one mesh per object (raylib 5.0's does, leaving each on material 0) then has
        # mesh i for material i, and the game can pair them up. So no material may go
        # unused, or the pairs would shift.
        for m in self.materials:
            tris = self.faces[m.name]
            if not tris:
                raise ValueError("%s: material %s has no faces" % (self.name, m.name))
            out.append("o %s" % m.name)
            out.append("usemtl %s" % m.name)
            out.append("s off")
            for t in tris:
                out.append("f %d/%d/%d %d/%d/%d %d/%d/%d" % (t[0], t[0], t[0], t[1], t[1], t[1], t[2], t[2], t[2]))
        return "\n".join(out) + "\n"

    def mtl_text(self):
        out = ["# materials of %s, made by tools/gen_assets.py" % self.name]
        for m in self.materials:
            out += ["",
                    "newmtl %s" % m.name,
                    "Ka 0.00000 0.00000 0.00000",
                    "Kd %s %s %s" % tuple(fmt(c) for c in m.kd),
                    "Ks %s %s %s" % (fmt(m.ks), fmt(m.ks), fmt(m.ks)),
                    "Ke 0.00000 0.00000 0.00000",
                    "Ns %s" % fmt(m.ns),
                    "d 1.00000",
                    "illum 2"]
        return "\n".join(out) + "\n"


def box(model, material, lo, hi, faces="all"):
    """An axis-aligned box with flat faces; faces lists which sides to emit."""
    x0, y0, z0 = lo
    x1, y1, z1 = hi
    sides = {
        "top": [(x0, y1, z1), (x1, y1, z1), (x1, y1, z0), (x0, y1, z0)],
        "bottom": [(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)],
        "front": [(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)],
        "back": [(x1, y0, z0), (x0, y0, z0), (x0, y1, z0), (x1, y1, z0)],
        "right": [(x1, y0, z1), (x1, y0, z0), (x1, y1, z0), (x1, y1, z1)],
        "left": [(x0, y0, z0), (x0, y0, z1), (x0, y1, z1), (x0, y1, z0)],
    }
    names = list(sides) if faces == "all" else faces
    for name in names:
        model.flat_quad(material, sides[name])


def frustum_ring(model, material, y0, h0, y1, h1):
    """The four sloped sides between a square of half-size h0 at y0 and one of h1 at y1
    (both centred on the y axis), as a bevel or a tapered plinth."""
    lo = [(-h0, y0, h0), (h0, y0, h0), (h0, y0, -h0), (-h0, y0, -h0)]
    hi = [(-h1, y1, h1), (h1, y1, h1), (h1, y1, -h1), (-h1, y1, -h1)]
    for i in range(4):
        j = (i + 1) % 4
        model.flat_quad(material, [lo[i], lo[j], hi[j], hi[i]])


# ------------------------------------------------------------------ the court

# The playing area; players are kept 0.25 inside it and 0.75 off the net.
COURT_X = 12.5
COURT_Z0, COURT_Z1 = -6.5, 5.5
COURT_TOP = 0.05           # placed at y = -0.05, so the surface is the plane y = 0
SLAB_BOTTOM = -0.55
SLAB_MARGIN = 1.0          # turf beyond the lines, so the boundary does not sit on the rim
LINE_HALF = 0.07
NET_HALF = 0.13
STRIPE = 2.5               # width of the mowing stripes along x


def make_court():
    mats = [Material("turf_light", (104, 181, 66), 0.05, 6),
            Material("turf_dark", (88, 163, 56), 0.05, 6),
            Material("turf_margin", (74, 140, 50), 0.05, 6),
            Material("chalk", (246, 246, 238), 0.1, 12),
            Material("soil", (112, 78, 50), 0.02, 2)]
    m = ObjModel("grass", mats)
    x_lo, x_hi = -COURT_X - SLAB_MARGIN, COURT_X + SLAB_MARGIN
    z_lo, z_hi = COURT_Z0 - SLAB_MARGIN, COURT_Z1 + SLAB_MARGIN

    # The top is cut into non-overlapping cells along every line edge and stripe
    # boundary; each cell gets one material, so nothing is coplanar and nothing flickers.
    xs = {x_lo, x_hi, -COURT_X - LINE_HALF, -COURT_X + LINE_HALF, COURT_X - LINE_HALF,
          COURT_X + LINE_HALF, -NET_HALF, NET_HALF}
    k = -COURT_X
    while k <= COURT_X + 1e-9:
        xs.add(round(k, 6))
        k += STRIPE
    zs = {z_lo, z_hi, COURT_Z0 - LINE_HALF, COURT_Z0 + LINE_HALF, COURT_Z1 - LINE_HALF,
          COURT_Z1 + LINE_HALF}
    xs, zs = sorted(xs), sorted(zs)

    def material_at(x, z):
        in_x = -COURT_X - LINE_HALF <= x <= COURT_X + LINE_HALF
        in_z = COURT_Z0 - LINE_HALF <= z <= COURT_Z1 + LINE_HALF
        if in_x and in_z:
            if abs(abs(x) - COURT_X) < LINE_HALF or abs(z - COURT_Z0) < LINE_HALF \
                    or abs(z - COURT_Z1) < LINE_HALF or abs(x) < NET_HALF:
                return "chalk"
        if -COURT_X < x < COURT_X and COURT_Z0 < z < COURT_Z1:
            band = int(math.floor((x + COURT_X) / STRIPE))
            return "turf_light" if band % 2 == 0 else "turf_dark"
        return "turf_margin"

    def uv_top(p):
        return ((p[0] - x_lo) / (x_hi - x_lo), (p[2] - z_lo) / (z_hi - z_lo))

    for i in range(len(xs) - 1):
        for j in range(len(zs) - 1):
            x0, x1, z0, z1 = xs[i], xs[i + 1], zs[j], zs[j + 1]
            mat = material_at((x0 + x1) / 2, (z0 + z1) / 2)
            m.flat_quad(mat, [(x0, COURT_TOP, z1), (x1, COURT_TOP, z1),
                              (x1, COURT_TOP, z0), (x0, COURT_TOP, z0)], uv_top)

    # The rim: a strip of turf over the soil, so the court reads as a slab of ground.
    lip = COURT_TOP - 0.08
    box(m, "turf_margin", (x_lo, lip, z_lo), (x_hi, COURT_TOP, z_hi),
        ["front", "back", "left", "right"])
    box(m, "soil", (x_lo, SLAB_BOTTOM, z_lo), (x_hi, lip, z_hi),
        ["front", "back", "left", "right", "bottom"])
    return m


# ------------------------------------------------------------------ the floor button

BUTTON_HALF = 0.45         # 0.9 x 0.9 overall
BUTTON_BOTTOM, BUTTON_TOP = -0.1, 0.1


def make_button():
    # The cap comes first: the game recolours the first material when it arms a
    # button (to grey 130), so the idle colour must be bright and warm against that.
    mats = [Material("button_cap", (255, 206, 64), 0.45, 96),
            Material("button_base", (46, 58, 82), 0.2, 32)]
    m = ObjModel("button", mats)
    base_top = -0.03
    # Plinth, tapering a little towards its top.
    frustum_ring(m, "button_base", BUTTON_BOTTOM, BUTTON_HALF, base_top, 0.42)
    box(m, "button_base", (-0.42, base_top, -0.42), (0.42, base_top, 0.42), ["top"])
    box(m, "button_base", (-BUTTON_HALF, BUTTON_BOTTOM, -BUTTON_HALF),
        (BUTTON_HALF, BUTTON_BOTTOM, BUTTON_HALF), ["bottom"])
    # Cap: straight sides, then a bevel up to the top face.
    cap_side_top = 0.055
    box(m, "button_cap", (-0.36, base_top, -0.36), (0.36, cap_side_top, 0.36),
        ["front", "back", "left", "right"])
    frustum_ring(m, "button_cap", cap_side_top, 0.36, BUTTON_TOP, 0.30)
    box(m, "button_cap", (-0.30, BUTTON_TOP, -0.30), (0.30, BUTTON_TOP, 0.30), ["top"])
    return m


# ------------------------------------------------------------------ the tomato

TOMATO_RADIUS = 0.3        # half of the 0.6 width
TOMATO_HALF_HEIGHT = 0.215
TOMATO_LOBES = 5
LOBE_DEPTH = 0.035
DIMPLE_DEPTH = 0.03
SEGMENTS = 40              # around; a multiple of the lobe count
RINGS = 24                 # top to bottom


def tomato_surface(theta, phi):
    """Body point at polar angle theta (0 at the top) and azimuth phi. An oblate
    spheroid with shallow lobes around its middle and a dimple round the stem."""
    s = math.sin(theta)
    lobe = 1.0 + LOBE_DEPTH * math.cos(TOMATO_LOBES * phi) * s * s
    r = TOMATO_RADIUS / (1.0 + LOBE_DEPTH) * s * lobe
    y = TOMATO_HALF_HEIGHT * (1.0 + math.cos(theta))
    y -= DIMPLE_DEPTH * math.exp(-(theta / 0.38) ** 2)
    return (r * math.cos(phi), y, -r * math.sin(phi))


def tomato_top_height(rho):
    """Height of the body's upper surface at horizontal distance rho from the axis
    (between lobes; the sepals lie there)."""
    theta = math.asin(min(rho * (1.0 + LOBE_DEPTH) / TOMATO_RADIUS, 1.0))
    return TOMATO_HALF_HEIGHT * (1.0 + math.cos(theta)) - DIMPLE_DEPTH * math.exp(-(theta / 0.38) ** 2)


def smooth_mesh(model, material, points, tris, uvs):
    """Adds an indexed triangle mesh with area-weighted vertex normals."""
    normals = [(0.0, 0.0, 0.0)] * len(points)
    for a, b, c in tris:
        n = v_cross(v_sub(points[b], points[a]), v_sub(points[c], points[a]))
        for i in (a, b, c):
            normals[i] = v_add(normals[i], n)
    ids = [model.vertex(points[i], normals[i], uvs[i]) for i in range(len(points))]
    for a, b, c in tris:
        model.tri(material, ids[a], ids[b], ids[c])


def add_tomato_body(m):
    """Rings between the poles, the poles as single vertices, smooth all round."""
    points, uvs, tris = [], [], []
    points.append(tomato_surface(0.0, 0.0))
    uvs.append((0.5, 0.0))
    for ring in range(1, RINGS):
        theta = math.pi * ring / RINGS
        for seg in range(SEGMENTS):
            phi = 2.0 * math.pi * seg / SEGMENTS
            points.append(tomato_surface(theta, phi))
            uvs.append((seg / SEGMENTS, ring / RINGS))
    points.append(tomato_surface(math.pi, 0.0))
    uvs.append((0.5, 1.0))
    bottom = len(points) - 1

    def at(ring, seg):  # ring 1 .. RINGS-1
        return 1 + (ring - 1) * SEGMENTS + seg % SEGMENTS

    for seg in range(SEGMENTS):
        tris.append((0, at(1, seg), at(1, seg + 1)))
        tris.append((bottom, at(RINGS - 1, seg + 1), at(RINGS - 1, seg)))
    for ring in range(1, RINGS - 1):
        for seg in range(SEGMENTS):
            a, b = at(ring, seg), at(ring, seg + 1)
            c, d = at(ring + 1, seg + 1), at(ring + 1, seg)
            tris.append((a, d, c))
            tris.append((a, c, b))
    smooth_mesh(m, "tomato_skin", points, tris, uvs)


def add_sepal(m, phi):
    """One pointed leaf lying on the top along azimuth phi, its tip curling up. It is
    a thin solid (upper and lower skin and the two rims) with a raised midrib."""
    steps = 8
    along = (math.cos(phi), 0.0, -math.sin(phi))
    across = (math.sin(phi), 0.0, math.cos(phi))
    top_pts, bot_pts, uvs = [], [], []
    for i in range(steps + 1):
        t = i / steps
        rho = 0.012 + 0.165 * t
        width = 0.05 * math.sin(math.pi * min(t * 1.25, 1.0)) ** 0.8 * (1.0 - t) ** 0.3
        lift = 0.010 + 0.05 * t ** 3
        centre = v_add(v_scale(along, rho), (0.0, tomato_top_height(rho) + lift, 0.0))
        for side in (-1.0, 0.0, 1.0):
            p = v_add(centre, v_scale(across, side * width))
            if side == 0.0:
                p = v_add(p, (0.0, 0.006 * (1.0 - t), 0.0))
            top_pts.append(p)
            bot_pts.append(v_add(p, (0.0, -0.008, 0.0)))
            uvs.append((t, (side + 1.0) / 2.0))
    top_tris, bot_tris = [], []
    for i in range(steps):
        for j in range(2):
            a, b = 3 * i + j, 3 * i + j + 1
            c, d = 3 * (i + 1) + j + 1, 3 * (i + 1) + j
            for tri in ((a, c, b), (a, d, c)):
                # Both ends of the leaf are points: skip the triangles that collapse there.
                pa, pb, pc = (top_pts[x] for x in tri)
                area = v_cross(v_sub(pb, pa), v_sub(pc, pa))
                if v_dot(area, area) < 1e-16:
                    continue
                top_tris.append(tri)
                bot_tris.append((tri[0], tri[2], tri[1]))
    smooth_mesh(m, "tomato_sepal", top_pts, top_tris, uvs)
    smooth_mesh(m, "tomato_sepal", bot_pts, bot_tris, uvs)
    for i in range(steps):
        left, right = (3 * i, 3 * (i + 1)), (3 * i + 2, 3 * (i + 1) + 2)
        m.flat_quad("tomato_sepal", [bot_pts[left[1]], bot_pts[left[0]], top_pts[left[0]], top_pts[left[1]]])
        m.flat_quad("tomato_sepal", [bot_pts[right[0]], bot_pts[right[1]], top_pts[right[1]], top_pts[right[0]]])


def add_stem(m):
    """A short leaning cylinder, narrowing upwards, with a flat cut top."""
    segments = 10
    radius = 0.024
    base = tomato_top_height(0.0) - 0.01
    height = 0.085
    lean = (0.014, 0.0, -0.006)
    levels = 3
    rings = []
    for level in range(levels):
        f = level / (levels - 1)
        r = radius * (1.0 - 0.18 * f)
        ring = []
        for s in range(segments):
            a = 2.0 * math.pi * s / segments
            p = (r * math.cos(a), base + height * f, -r * math.sin(a))
            ring.append(v_add(p, v_scale(lean, f * f)))
        rings.append(ring)
    points = [p for ring in rings for p in ring]
    uvs = [(s / segments, lv / (levels - 1)) for lv in range(levels) for s in range(segments)]
    tris = []
    for lv in range(levels - 1):
        for s in range(segments):
            a, b = lv * segments + s, lv * segments + (s + 1) % segments
            c, d = b + segments, a + segments
            tris += [(a, b, c), (a, c, d)]
    smooth_mesh(m, "tomato_stem", points, tris, uvs)

    top = rings[-1]
    centre = (sum(p[0] for p in top) / segments, top[0][1], sum(p[2] for p in top) / segments)
    up = (0.0, 1.0, 0.0)
    c_id = m.vertex(centre, up, (0.5, 0.5))
    ids = [m.vertex(p, up, (0.5, 0.5)) for p in top]
    for s in range(segments):
        m.tri("tomato_stem", c_id, ids[s], ids[(s + 1) % segments])


def make_tomato():
    mats = [Material("tomato_skin", (230, 41, 55), 0.8, 220),
            Material("tomato_sepal", (58, 150, 52), 0.25, 40),
            Material("tomato_stem", (64, 110, 40), 0.1, 16)]
    m = ObjModel("tomato", mats)
    add_tomato_body(m)
    # Five sepals, between the lobes and turned a little off them.
    for k in range(TOMATO_LOBES):
        add_sepal(m, 2.0 * math.pi * (k + 0.5) / TOMATO_LOBES + 0.12)
    add_stem(m)
    return m


# ------------------------------------------------------------------ shaders

GEOM_VS = """#version 330

// The lit scene: world position and normal for per-fragment light, and the
// position as the sun's shadow camera sees it.

in vec3 vertexPosition;
in vec2 vertexTexCoord;
in vec3 vertexNormal;

uniform mat4 mvp;
uniform mat4 matModel;
uniform mat4 matNormal;
uniform mat4 matLight;

out vec3 fragPosition;
out vec2 fragTexCoord;
out vec3 fragNormal;
out vec4 fragLightSpace;

void main()
{
    vec4 world = matModel * vec4(vertexPosition, 1.0);
    fragPosition = world.xyz;
    fragTexCoord = vertexTexCoord;
    // matNormal is the inverse-transpose, so squashed tomatoes keep true normals.
    fragNormal = normalize((matNormal * vec4(vertexNormal, 0.0)).xyz);
    fragLightSpace = matLight * world;
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
"""

GEOM_FS = """#version 330

in vec3 fragPosition;
in vec2 fragTexCoord;
in vec3 fragNormal;
in vec4 fragLightSpace;

uniform sampler2D texture0;
uniform vec4 colDiffuse;        // rgb: material colour; a: shininess / 1000
uniform sampler2D shadowMap;    // depth as the sun sees the scene
uniform vec3 lightPos;
uniform vec3 lightDir;
uniform vec3 viewPos;
uniform int shadowMapSize;

out vec4 finalColor;

const vec3 sunColor = vec3(1.00, 0.96, 0.88);
const vec3 skyAmbient = vec3(0.52, 0.58, 0.68);
const vec3 groundAmbient = vec3(0.38, 0.36, 0.30);

// Fraction of the sun that reaches this fragment, 0..1. The light's depth range is
// about 400 units deep, so a bias of 0.0002 is roughly 0.08 units; surfaces at a
// grazing angle to the sun get more, which keeps the court free of acne.
float sunVisibility(vec3 n, vec3 toSun)
{
    vec3 p = fragLightSpace.xyz / fragLightSpace.w * 0.5 + 0.5;
    if (p.z > 1.0 || p.x < 0.0 || p.x > 1.0 || p.y < 0.0 || p.y > 1.0) return 1.0;
    float slope = 1.0 - clamp(dot(n, toSun), 0.0, 1.0);
    float bias = mix(0.00015, 0.0006, slope);
    vec2 texel = vec2(1.0 / float(max(shadowMapSize, 1)));
    // 3 x 3 percentage-closer filtering softens the stair steps of the map.
    float lit = 0.0;
    for (int y = -1; y <= 1; ++y)
    {
        for (int x = -1; x <= 1; ++x)
        {
            float nearest = texture(shadowMap, p.xy + vec2(float(x), float(y)) * texel).r;
            lit += (p.z - bias > nearest) ? 0.0 : 1.0;
        }
    }
    return lit / 9.0;
}

void main()
{
    vec4 texel = texture(texture0, fragTexCoord);
    // Untextured materials carry a transparent texel, so their own colour shows.
    vec3 base = mix(colDiffuse.rgb, texel.rgb, texel.a);
    float shininess = colDiffuse.a * 1000.0;

    vec3 n = normalize(fragNormal);
    vec3 toSun = -normalize(lightDir);
    vec3 toEye = normalize(viewPos - fragPosition);
    float sun = sunVisibility(n, toSun);

    float diffuse = max(dot(n, toSun), 0.0);
    // The highlight aims at where the light actually stands, so it drifts a little
    // across the court instead of sitting at the same spot on every tomato.
    vec3 toLight = normalize(lightPos - fragPosition);
    vec3 halfway = normalize(toLight + toEye);
    float gloss = smoothstep(0.0, 0.25, colDiffuse.a);
    float specular = diffuse > 0.0 ? gloss * pow(max(dot(n, halfway), 0.0), max(shininess, 1.0)) : 0.0;

    // Sky above, warm bounce from the ground below: shadowed sides stay readable.
    vec3 ambient = mix(groundAmbient, skyAmbient, n.y * 0.5 + 0.5);
    vec3 color = base * (ambient + sunColor * diffuse * sun) + sunColor * specular * sun;
    finalColor = vec4(min(color, vec3(1.0)), 1.0);
}
"""

SHADOW_VS = """#version 330

// Shadow pass: only where the geometry is, as the sun sees it.

in vec3 vertexPosition;

uniform mat4 mvp;

void main()
{
    gl_Position = mvp * vec4(vertexPosition, 1.0);
}
"""

SHADOW_FS = """#version 330

// Depth only: the shadow target has no colour buffer, the depth test writes the map.

void main()
{
}
"""

OVERLAY_FS = """#version 330

// Full-screen overlay over the match: a red flash round the half of the player
// who was just hit (player 1 left, player 2 right), gone within half a second.

in vec2 fragTexCoord;
in vec4 fragColor;

uniform sampler2D texture0;
uniform float player1TimeSinceHit;
uniform float player2TimeSinceHit;

out vec4 finalColor;

const float flashSeconds = 0.5;
const vec3 flashColor = vec3(0.92, 0.06, 0.10);

// 1 at the moment of the hit, easing to 0 at flashSeconds and after (99 at rest).
float flash(float timeSinceHit)
{
    float k = 1.0 - clamp(timeSinceHit / flashSeconds, 0.0, 1.0);
    return k * k;
}

// Vignette on one half: strongest along the outer side and the top and bottom edges,
// with a light wash over the outer part; both fade out before the middle of the
// screen so the two halves meet without a seam.
float vignette(float fromOuterSide, float y)
{
    float edge = min(fromOuterSide, min(y, 1.0 - y));
    float rim = 1.0 - smoothstep(0.0, 0.3, edge);
    float wash = 0.25 * (1.0 - smoothstep(0.1, 0.45, fromOuterSide));
    float towardsMiddle = 1.0 - smoothstep(0.3, 0.5, fromOuterSide);
    return max(rim * towardsMiddle, wash);
}

void main()
{
    // What the quad carries (a transparent target in the game) stays under the flash.
    vec4 under = texture(texture0, fragTexCoord) * fragColor;
    float x = fragTexCoord.x;
    float y = fragTexCoord.y;
    float a = (x < 0.5) ? flash(player1TimeSinceHit) * vignette(x, y)
                        : flash(player2TimeSinceHit) * vignette(1.0 - x, y);
    a *= 0.8;
    float outA = a + under.a * (1.0 - a);
    vec3 rgb = (outA > 0.0) ? (flashColor * a + under.rgb * under.a * (1.0 - a)) / outA : vec3(0.0);
    finalColor = vec4(rgb, outA);
}
"""


# ------------------------------------------------------------------ the particle texture

PARTICLE_SIZE = 32


def png_bytes(width, height, rgba_rows):
    """An RGBA8 PNG. The image data is wrapped in stored deflate blocks (no
    compression) so the file is the same whatever zlib build runs this."""
    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    stream = bytearray(b"\x78\x01")
    pos = 0
    while True:
        block = raw[pos:pos + 65535]
        pos += len(block)
        final = 1 if pos >= len(raw) else 0
        stream += struct.pack("<BHH", final, len(block), len(block) ^ 0xFFFF) + block
        if final:
            break
    stream += struct.pack(">I", zlib.adler32(raw) & 0xFFFFFFFF)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", bytes(stream)) + chunk(b"IEND", b"")


def make_particle_png():
    n = PARTICLE_SIZE
    c = (n - 1) / 2.0
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            r = math.hypot(x - c, y - c) / (n / 2.0)
            # A solid core easing out to nothing at the rim: a soft dot when tinted.
            a = 1.0 - smoothstep(0.25, 1.0, r)
            row += [255, 255, 255, int(round(255 * a))]
        rows.append(row)
    return png_bytes(n, n, rows)



# ------------------------------------------------------------------ the desktop icon

ICON_SIZES = (48, 128, 256)
ICON_LIGHT = v_norm((-0.45, -0.6, 0.65))   # from the upper left, towards the viewer (y down)


def coverage(d, px):
    """How much of a pixel of width px a shape covers whose signed distance at the
    pixel's centre is d: a one-pixel ramp, so edges are smooth at every size."""
    return min(max(0.5 - d / px, 0.0), 1.0)


def over(dst, rgb, a):
    """Paints rgb with coverage a over the premultiplied pixel dst."""
    k = 1.0 - a
    return (rgb[0] * a + dst[0] * k, rgb[1] * a + dst[1] * k, rgb[2] * a + dst[2] * k, a + dst[3] * k)


def capsule_distance(p, a, b, radius):
    pa, ba = (p[0] - a[0], p[1] - a[1]), (b[0] - a[0], b[1] - a[1])
    t = min(max((pa[0] * ba[0] + pa[1] * ba[1]) / (ba[0] * ba[0] + ba[1] * ba[1]), 0.0), 1.0)
    return math.hypot(pa[0] - ba[0] * t, pa[1] - ba[1] * t) - radius


def icon_pixel(x, y, px):
    """The tomato as seen a little from above, in [-1, 1] squared with y down."""
    out = (0.0, 0.0, 0.0, 0.0)
    # The body: a lit ellipse with a darker rim that keeps its outline at 48 px.
    cx, cy, rx, ry = 0.0, 0.12, 0.86, 0.74
    qx, qy = (x - cx) / rx, (y - cy) / ry
    q = math.hypot(qx, qy)
    d = (q - 1.0) * min(rx, ry)
    a = coverage(d, px)
    if a > 0.0:
        nz = math.sqrt(max(0.0, 1.0 - min(q, 1.0) ** 2))
        n = v_norm((qx, qy, nz))
        diffuse = max(0.0, v_dot(n, ICON_LIGHT))
        shine = max(0.0, v_dot(n, v_norm(v_add(ICON_LIGHT, (0.0, 0.0, 1.0))))) ** 48
        rgb = tuple(min(255.0, c * (0.42 + 0.7 * diffuse) + 255.0 * 0.85 * shine) for c in (230, 41, 55))
        out = over(out, rgb, a)
        out = over(out, (120, 16, 24), a * coverage(-d - 0.045, px))
    # Five pointed sepals round the stem, flattened by the view from above.
    sx, sy = x, (y + 0.52) * 1.9
    r, ang = math.hypot(sx, sy), math.atan2(sy, sx)
    lobe = ((math.cos(TOMATO_LOBES * (ang + 0.35)) + 1.0) / 2.0) ** 3
    d = (r - (0.09 + 0.36 * lobe)) / 1.9
    a = coverage(d, px)
    if a > 0.0:
        out = over(out, (30, 92, 30), a)
        out = over(out, (58, 150, 52), coverage(d + 0.03, px))
    # The stem, leaning a little to the right, lit on its left side.
    d = capsule_distance((x, y), (0.0, -0.52), (0.07, -0.86), 0.06)
    a = coverage(d, px)
    if a > 0.0:
        light = smoothstep(0.05, -0.05, x - 0.035 - 0.2 * (-0.52 - y))
        rgb = tuple(c0 + (c1 - c0) * light for c0, c1 in zip((48, 86, 30), (96, 152, 60)))
        out = over(out, rgb, a)
    return out


def make_icon_png(size):
    px = 2.0 / size
    rows = []
    for j in range(size):
        row = []
        y = -1.0 + (j + 0.5) * px
        for i in range(size):
            r, g, b, a = icon_pixel(-1.0 + (i + 0.5) * px, y, px)
            if a > 0.0:
                row += [int(round(r / a)), int(round(g / a)), int(round(b / a)), int(round(255 * a))]
            else:
                row += [0, 0, 0, 0]
        rows.append(row)
    return png_bytes(size, size, rows)


# ------------------------------------------------------------------ sounds

RATE = 44100
PEAK = 0.89                # about -1 dBFS after normalising


def wav_bytes(samples, rate=RATE):
    """16-bit PCM mono WAV, at 44.1 kHz unless told otherwise."""
    data = struct.pack("<%dh" % len(samples), *samples)
    fmt_chunk = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt_chunk)) + fmt_chunk \
        + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def finish(signal, fade_in, fade_out):
    """Removes any DC offset, fades both ends (so playback starts and stops without a
    click), normalises to PEAK and converts to 16-bit."""
    n = len(signal)
    mean = sum(signal) / n
    out = [s - mean for s in signal]
    fi, fo = max(1, int(fade_in * RATE)), max(1, int(fade_out * RATE))
    for i in range(n):
        g = 1.0
        if i < fi:
            g *= 0.5 - 0.5 * math.cos(math.pi * i / fi)
        if i >= n - fo:
            g *= 0.5 - 0.5 * math.cos(math.pi * (n - 1 - i) / fo)
        out[i] *= g
    peak = max(abs(s) for s in out)
    return [int(round(s / peak * PEAK * 32767)) for s in out]


def one_pole(signal, cutoff):
    """A first-order low-pass."""
    k = 1.0 - math.exp(-2.0 * math.pi * cutoff / RATE)
    y, out = 0.0, []
    for s in signal:
        y += k * (s - y)
        out.append(y)
    return out


def make_step(index):
    """A soft footstep on turf: a low thump falling in pitch, a band of grassy noise,
    and for some steps a lighter second contact (heel, then toe)."""
    rng = Rng(1000 + index)
    pitch = [172, 194, 154, 185, 208, 163, 180, 146][index]
    bright = [900, 1300, 700, 1600, 1100, 1900, 800, 1400][index]
    grit = [0.45, 0.35, 0.55, 0.4, 0.3, 0.5, 0.6, 0.38][index]
    thump_decay = [0.034, 0.028, 0.042, 0.030, 0.026, 0.038, 0.033, 0.045][index]
    toe = [0.0, 0.032, 0.0, 0.041, 0.0, 0.027, 0.036, 0.0][index]
    n = int(RATE * (0.17 + 0.01 * (index % 3)))
    noise = [rng.uniform() for _ in range(n)]
    band = [a - b for a, b in zip(one_pole(noise, bright), one_pole(noise, bright * 0.25))]
    out = []
    phase = 0.0
    for i in range(n):
        t = i / RATE
        f = pitch * (0.55 + 0.45 * math.exp(-t / 0.05))
        phase += 2.0 * math.pi * f / RATE
        thump = math.sin(phase) * math.exp(-t / thump_decay)
        scuff = band[i] * grit * 5.0 * math.exp(-t / 0.03)
        s = thump + scuff
        if toe > 0.0 and t >= toe:
            tt = t - toe
            s += 0.45 * math.sin(2.0 * math.pi * pitch * 1.3 * tt) * math.exp(-tt / 0.02)
            s += band[i] * grit * 2.5 * math.exp(-tt / 0.015)
        out.append(s)
    return finish(out, 0.002, 0.03)


def click_signal(rng):
    n = int(RATE * 0.06)
    out = []
    for i in range(n):
        t = i / RATE
        s = 0.9 * math.sin(2.0 * math.pi * 1850.0 * t) * math.exp(-t / 0.006)
        s += 0.5 * math.sin(2.0 * math.pi * 3120.0 * t) * math.exp(-t / 0.004)
        s += 0.25 * math.sin(2.0 * math.pi * 5300.0 * t) * math.exp(-t / 0.0025)
        s += 0.35 * rng.uniform() * math.exp(-t / 0.0015)
        out.append(s)
    return out


def make_click():
    """A crisp, short UI tick."""
    return finish(click_signal(Rng(7)), 0.0004, 0.01)


def make_click_echo():
    """The click followed by echoes that fade and darken, as in a hall."""
    dry = click_signal(Rng(7))
    delay = int(RATE * 0.105)
    gains = [0.55, 0.33, 0.19, 0.1]
    n = delay * (len(gains) + 1) + len(dry)
    out = [0.0] * n
    for i, s in enumerate(dry):
        out[i] += s
    echo = dry
    for k, g in enumerate(gains):
        echo = one_pole(echo, 5000.0 - 900.0 * k)
        start = delay * (k + 1)
        for i, s in enumerate(echo):
            out[start + i] += g * s
    return finish(out, 0.0004, 0.02)


def make_pause():
    """Two soft bell-like notes stepping down a fifth: the game holds its breath."""
    notes = [(0.0, 783.99), (0.13, 523.25)]
    n = int(RATE * 0.46)
    out = [0.0] * n
    for start, freq in notes:
        s0 = int(start * RATE)
        for i in range(s0, n):
            t = (i - s0) / RATE
            env = min(t / 0.006, 1.0) * math.exp(-t / 0.09)
            w = 2.0 * math.pi * freq * t
            out[i] += env * (math.sin(w) + 0.3 * math.sin(2.0 * w) + 0.08 * math.sin(3.0 * w))
    return finish(out, 0.002, 0.05)


# ------------------------------------------------------------------ music

MUSIC_RATE = 22050         # half the effects' rate: a 24 s loop stays near 1 MB
MUSIC_PEAK = 0.6           # it plays under the effects, so it is mixed with headroom
BEAT = MUSIC_RATE // 2     # 120 beats a minute, a whole number of samples a beat
BARS = 12                  # three passes of a four-bar round: 24 s


def midi_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12.0)


def add_wrapped(track, start, samples):
    """Adds a note at `start`; whatever rings past the end of the loop is heard at its
    beginning, as it would be on the next pass, so the seam is seamless."""
    n = len(track)
    for i, v in enumerate(samples):
        track[(start + i) % n] += v


def music_note(freq, length, harmonics, attack, decay, level):
    """A plucked tone: a few sine partials, a quick attack and an exponential decay,
    faded to zero over its last 20 ms so that it never stops with a click."""
    n = int(length * MUSIC_RATE)
    fade = int(0.02 * MUSIC_RATE)
    w = 2.0 * math.pi * freq / MUSIC_RATE
    out = []
    for i in range(n):
        t = i / MUSIC_RATE
        env = min(t / attack, 1.0) * math.exp(-t / decay) * min((n - i) / fade, 1.0)
        out.append(level * env * sum(a * math.sin(k * w * i) for k, a in harmonics))
    return out


def music_kick():
    n = int(0.22 * MUSIC_RATE)
    out, phase = [], 0.0
    for i in range(n):
        t = i / MUSIC_RATE
        phase += 2.0 * math.pi * (48.0 + 110.0 * math.exp(-t / 0.03)) / MUSIC_RATE
        out.append(math.sin(phase) * math.exp(-t / 0.07) * min((n - i) / 200.0, 1.0))
    return out


def music_noise_hit(rng, length, decay, bright, tone, level):
    """Snare (with a low tone) or hat (bright, short): filtered noise that dies away."""
    n = int(length * MUSIC_RATE)
    noise = [rng.uniform() for _ in range(n)]
    k = 1.0 - math.exp(-2.0 * math.pi * bright / MUSIC_RATE)
    out, low = [], 0.0
    for i in range(n):
        t = i / MUSIC_RATE
        low += k * (noise[i] - low)
        s = (noise[i] - low) + tone * math.sin(2.0 * math.pi * 190.0 * t) * math.exp(-t / 0.03)
        out.append(level * s * math.exp(-t / decay) * min((n - i) / 100.0, 1.0))
    return out


def make_music():
    """The background loop: a light, bouncy duel tune in C major at 120 beats a
    minute. Bass on the eighths, a plucked lead, kick, snare and hats; the round
    C - Am - F - G is played three times with the lead changing on the last pass."""
    track = [0.0] * (BARS * 4 * BEAT)
    eighth = BEAT // 2
    roots = [36, 45, 41, 43]  # C2 A2 F2 G2
    bass_tones = [(1, 1.0), (2, 0.35), (3, 0.3), (5, 0.12)]
    lead_tones = [(1, 1.0), (2, 0.25), (3, 0.12), (4, 0.05)]
    # One note per eighth (None rests), one row per bar of the round.
    first = [[72, None, 76, 79, 76, None, 72, 74], [76, None, 72, 69, 72, None, None, 76],
             [77, None, 76, 74, 72, None, 69, 72], [74, None, 71, 67, 71, 74, 79, None]]
    last = [[79, 76, 79, 84, 79, None, 76, 79], [81, None, 79, 76, 72, None, 76, 79],
            [77, 81, 84, 81, 77, None, 72, 77], [79, None, 74, 71, 67, None, None, None]]
    notes = {}

    def cached(key, make):
        if key not in notes:
            notes[key] = make()
        return notes[key]

    rng = Rng(4242)
    kick = music_kick()
    snares = [music_noise_hit(rng, 0.18, 0.05, 1800.0, 0.5, 0.55) for _ in range(4)]
    hats = [music_noise_hit(rng, 0.05, 0.012, 6000.0, 0.0, 0.22) for _ in range(4)]
    for bar in range(BARS):
        start = bar * 4 * BEAT
        root = roots[bar % 4]
        melody = (last if bar >= 8 else first)[bar % 4]
        for e in range(8):
            at = start + e * eighth
            octave = 12 if e % 2 else 0
            add_wrapped(track, at, cached(("bass", root + octave), lambda: music_note(
                midi_hz(root + octave), 0.24, bass_tones, 0.004, 0.09, 0.5)))
            if melody[e] is not None:
                note = melody[e]
                add_wrapped(track, at, cached(("lead", note), lambda: music_note(
                    midi_hz(note), 0.45, lead_tones, 0.006, 0.16, 0.35)))
            add_wrapped(track, at + (eighth // 8 if e % 2 else 0), hats[(bar + e) % 4])
        for beat in range(4):
            at = start + beat * BEAT
            if beat % 2 == 0:
                add_wrapped(track, at, kick)
            else:
                add_wrapped(track, at, snares[(bar + beat) % 4])
        if bar % 4 == 3:  # a pickup kick into the next round
            add_wrapped(track, start + 3 * BEAT + eighth, kick)
    mean = sum(track) / len(track)
    peak = max(abs(v - mean) for v in track)
    return [int(round((v - mean) / peak * MUSIC_PEAK * 32767)) for v in track]


# ------------------------------------------------------------------ GUI style

# raygui's control and property numbers.
DEFAULT, LABEL, BUTTON, CHECKBOX = 0, 1, 2, 6
BORDER_NORMAL, BASE_NORMAL, TEXT_NORMAL = 0, 1, 2
BORDER_FOCUSED, BASE_FOCUSED, TEXT_FOCUSED = 3, 4, 5
BORDER_PRESSED, BASE_PRESSED, TEXT_PRESSED = 6, 7, 8
BORDER_DISABLED, BASE_DISABLED, TEXT_DISABLED = 9, 10, 11
BORDER_WIDTH, TEXT_PADDING, TEXT_ALIGNMENT = 12, 13, 14
TEXT_SIZE, TEXT_SPACING, LINE_COLOR, BACKGROUND_COLOR = 16, 17, 18, 19
ALIGN_LEFT, ALIGN_CENTER, ALIGN_RIGHT = 0, 1, 2

NAVY = 0x1D3557FF
CREAM = 0xFFE08AFF
TOMATO = 0xE62937FF
DEEP_RED = 0x9E1B28FF


def make_style():
    # DEFAULT's properties below 16 spread to every control, so they come first and
    # the per-control exceptions after them.
    props = [
        (DEFAULT, BORDER_NORMAL, NAVY), (DEFAULT, BASE_NORMAL, CREAM), (DEFAULT, TEXT_NORMAL, NAVY),
        (DEFAULT, BORDER_FOCUSED, DEEP_RED), (DEFAULT, BASE_FOCUSED, 0xFFF5CCFF),
        (DEFAULT, TEXT_FOCUSED, DEEP_RED),
        # Pressed is a shade darker than the tomato itself, so light text stays crisp on it.
        (DEFAULT, BORDER_PRESSED, 0x5C0F18FF), (DEFAULT, BASE_PRESSED, 0xC81E2DFF),
        (DEFAULT, TEXT_PRESSED, 0xFFF8E7FF),
        (DEFAULT, BORDER_DISABLED, 0x6F7F91FF), (DEFAULT, BASE_DISABLED, 0xB8C4D0FF),
        (DEFAULT, TEXT_DISABLED, 0x5E6B7AFF),
        (DEFAULT, BORDER_WIDTH, 3), (DEFAULT, TEXT_PADDING, 0), (DEFAULT, TEXT_ALIGNMENT, ALIGN_CENTER),
        (DEFAULT, TEXT_SIZE, 24), (DEFAULT, TEXT_SPACING, 2),
        (DEFAULT, LINE_COLOR, NAVY), (DEFAULT, BACKGROUND_COLOR, 0x2498C9FF),
        # Labels and check-box captions stand on the sky itself: light text, no frame.
        (LABEL, TEXT_NORMAL, 0xFFFBEEFF), (LABEL, TEXT_FOCUSED, 0xFFFFFFFF),
        (LABEL, TEXT_PRESSED, 0xFFFFFFFF), (LABEL, BORDER_WIDTH, 0), (LABEL, TEXT_ALIGNMENT, ALIGN_LEFT),
        (BUTTON, BORDER_WIDTH, 4), (BUTTON, TEXT_ALIGNMENT, ALIGN_CENTER),
        # A check box has no face: its mark and caption stand on the sky like labels.
        (CHECKBOX, BORDER_WIDTH, 3), (CHECKBOX, TEXT_NORMAL, 0xFFFBEEFF), (CHECKBOX, TEXT_FOCUSED, 0xFFFFFFFF),
        (CHECKBOX, TEXT_PRESSED, 0xFFFFFFFF), (CHECKBOX, TEXT_PADDING, 20),
        (CHECKBOX, TEXT_ALIGNMENT, ALIGN_RIGHT),
    ]
    lines = ["# vorbel GUI style: cream buttons with navy rims over the sky, tomato red when touched",
             "#",
             "# p <control> <property> <value>"]
    lines += ["p %d %d 0x%08x" % p for p in props]
    return ("\n".join(lines) + "\n").encode("ascii")


# ------------------------------------------------------------------ main


def all_files():
    """Relative path -> bytes of every generated file."""
    files = {}
    for model in (make_court(), make_button(), make_tomato()):
        files["models/%s.obj" % model.name] = model.obj_text().encode("ascii")
        files["models/%s.mtl" % model.name] = model.mtl_text().encode("ascii")
    shaders = {"geom.vs": GEOM_VS, "geom.fs": GEOM_FS, "shadow.vs": SHADOW_VS,
               "shadow.fs": SHADOW_FS, "overlay.fs": OVERLAY_FS}
    for name, text in shaders.items():
        files["shaders/glsl330/" + name] = text.encode("ascii")
    files["textures/particle.png"] = make_particle_png()
    for i in range(8):
        files["audio/step-%d.wav" % (i + 1)] = wav_bytes(make_step(i))
    files["audio/click.wav"] = wav_bytes(make_click())
    files["audio/click_echo.wav"] = wav_bytes(make_click_echo())
    files["audio/pause.wav"] = wav_bytes(make_pause())
    files["audio/music.wav"] = wav_bytes(make_music(), MUSIC_RATE)
    files["ui_theme.rgs"] = make_style()
    return files


def icon_files():
    """File name -> bytes of the desktop's icons, which the game itself never loads."""
    return {"vorbel-%d.png" % size: make_icon_png(size) for size in ICON_SIZES}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Make vorbel's asset files.")
    parser.add_argument("--out", default=os.path.join(here, "..", "assets"),
                        help="directory to write into (default: the repository's assets/)")
    parser.add_argument("--icons", default=os.path.join(here, "..", "packaging", "icons"),
                        help="directory for the desktop icons (default: the repository's packaging/icons/)")
    args = parser.parse_args()
    for out, files in ((args.out, all_files()), (args.icons, icon_files())):
        for rel, data in sorted(files.items()):
            path = os.path.join(out, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
