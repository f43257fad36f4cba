"""Old versions go once the index stops naming them; a killed run's half-written files are swept."""

import os

from solvane_publish import tree


def test_retention_keeps_the_newest_versions_and_whatever_the_index_names(tmp_path):
    out = str(tmp_path)
    stems = ["20261001T0%d0000" % h for h in range(1, 6)]
    for pid in ("171", "304"):
        os.makedirs(os.path.join(out, "v", pid))
        for stem in stems:
            for extension in ("mp4", "png"):
                open(os.path.join(out, "v", pid, "%s.%s" % (stem, extension)), "w").close()
    open(os.path.join(out, "v", "171", "x.mp4.123.part"), "w").close()
    index = {"products": [{"id": "171", "video_v": "v/171/%s.mp4" % stems[0], "still_v": "v/171/%s.png" % stems[0]},
                          {"id": "304", "video_v": "v/304/%s.mp4" % stems[4], "still_v": "v/304/%s.png" % stems[4]}]}
    tree.clean_parts(out)
    tree.prune_versions(out, index, retention=3)
    assert sorted(os.listdir(os.path.join(out, "v", "171"))) == sorted(
        "%s.%s" % (s, e) for s in [stems[0]] + stems[2:] for e in ("mp4", "png"))
    assert sorted(os.listdir(os.path.join(out, "v", "304"))) == sorted(
        "%s.%s" % (s, e) for s in stems[2:] for e in ("mp4", "png"))
