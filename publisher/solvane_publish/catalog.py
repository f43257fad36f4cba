"""The products a mirror publishes, their channels and the fixed texts of an entry."""

CREDIT = "Courtesy of NASA/SDO and the AIA, EVE, and HMI science teams"

CHANNELS = (94, 131, 171, 193, 211, 304, 335, 1600, 1700)

# Catalogue order: the index lists products in this order.
PRODUCTS = (
    ("rainbow", "Rainbow (RHEF composite)", (94, 131, 171, 193, 211, 304, 335)),
    ("171", "AIA 171 \u00c5", (171,)),
    ("193", "AIA 193 \u00c5", (193,)),
    ("211", "AIA 211 \u00c5", (211,)),
    ("304", "AIA 304 \u00c5", (304,)),
    ("335", "AIA 335 \u00c5", (335,)),
    ("94", "AIA 94 \u00c5", (94,)),
    ("131", "AIA 131 \u00c5", (131,)),
    ("1600", "AIA 1600 \u00c5 (UV)", (1600,)),
    ("1700", "AIA 1700 \u00c5 (UV)", (1700,)),
    ("composite_uv", "Composite (1700/1600/304)", (1700, 1600, 304)),
    ("dem", "Temperature map (DEM)", (94, 131, 171, 193, 211, 335)),
)

IDS = tuple(p[0] for p in PRODUCTS)
LABELS = {p[0]: p[1] for p in PRODUCTS}
INPUTS = {p[0]: p[2] for p in PRODUCTS}


def channels_of(ids):
    """The channels the given products need, in ascending order."""
    wanted = set()
    for pid in ids:
        wanted.update(INPUTS[pid])
    return tuple(c for c in CHANNELS if c in wanted)
