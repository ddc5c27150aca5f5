"""Blocks and record streams: reading into numpy, the copy-on-write arrays, setters, writing."""
import numpy as np
import pytest

import kvsdatablocks as kvs

ITEM_TYPES = {603: np.float32, 604: np.float32, 605: np.float32, 606: np.uint32, 608: np.uint16}


def test_stream_reads_as_the_tool_dumps_it(tool, multibeam_line):
    dumped = tool("dump", multibeam_line, "--json", as_json=True)
    with kvs.read_stream(multibeam_line) as stream:
        blocks = list(stream)
    assert len(blocks) == len(dumped) == 40
    for block, want in zip(blocks, dumped):
        ident = want["dataId"]
        assert block.data_id == kvs.DataId(ident["dataType"], ident["groupId"], ident["deviceNum"], ident["vesselId"])
        assert (block.time, block.status, block.flags) == (want["time"], want["status"], want["flags"])
        assert len(block) == len(want["elements"])
        for element, w in zip(block.elements(), want["elements"]):
            assert (element.position, element.name, element.id, element.type, element.format, element.use_as,
                    element.status) == (w["position"], w["name"], w["id"], w["type"], w["format"], w["useAs"],
                                        w["status"])
            value = element.value()
            if isinstance(value, np.ndarray):
                np.testing.assert_array_equal(value.astype(np.float64), np.array(w["value"], dtype=np.float64))
            else:
                assert value == w["value"]


def test_arrays_are_read_only_views_where_aligned_and_keep_their_values(multibeam_line):
    with kvs.read_stream(multibeam_line) as stream:
        block = next(stream)
    for use_as, dtype in ITEM_TYPES.items():
        assert block.array(use_as).dtype == dtype
    z, angle = block.array(605), block.array(622)
    assert np.shares_memory(z, block.array(605))  # aligned items: a view of the block
    assert not np.shares_memory(angle, block.array(622))  # behind an odd-sized element: a copy
    assert not z.flags.writeable and not angle.flags.writeable
    kept = z.copy()
    block.set_value(605, np.zeros_like(z))  # same size: stored in place, once z's storage is copied off
    np.testing.assert_array_equal(z, kept)
    block.set_value(605, np.zeros(10, dtype=np.float32))  # resized: the buffer is laid out anew
    np.testing.assert_array_equal(z, kept)
    assert block.element(605).count == 10 and not block.array(605).any()


def test_filtering_a_block_leaves_earlier_arrays_alone(multibeam_line):
    with kvs.read_stream(multibeam_line) as stream:
        block = next(iter(stream))
    flags = block.array(606)
    before = flags.copy()
    kvs.MultibeamFilter({"DepthFilter": True, "FilterMinDepth": 1.0, "FilterMaxDepth": 2.0}).process(block)
    np.testing.assert_array_equal(flags, before)
    assert (block.array(606) & 0x800).all()


@pytest.mark.parametrize("use_as, value, expected", [
    (601, 7, 7),                       # ET_INT
    (607, 0xFFFFFFFF, 0xFFFFFFFF),     # ET_UINT
    (610, -32768, -32768),             # ET_SHORT
    (505, 3, 3.0),                     # ET_DOUBLE takes ints
    (672, 0.5, 0.5),                   # ET_FLOAT
    (603, [1.5, 2.5], [1.5, 2.5]),     # ET_FLOAT_ARRAY, resized
    (608, np.array([1, 65535]), [1, 65535]),  # ET_USHORT_ARRAY
    (606, [], []),                     # ET_UINT_ARRAY, emptied
])
def test_set_value_stores_what_the_element_holds(use_as, value, expected):
    block = kvs.Block.from_definition(1011)
    block.set_value(use_as, value, status=20)
    got = block.value(use_as)
    assert (got.tolist() if isinstance(got, np.ndarray) else got) == expected
    assert block.element(use_as).status == 20


@pytest.mark.parametrize("use_as, value, error", [
    (601, 2 ** 31, OverflowError),
    (607, -1, OverflowError),
    (601, 1.5, TypeError),
    (672, 1e40, OverflowError),
    (608, [70000], OverflowError),
    (606, [1.0], TypeError),            # floats do not go into flag words
    (603, [[1.0]], ValueError),
    (505, "x", TypeError),
])
def test_set_value_refuses_what_would_not_be_stored_exactly(use_as, value, error):
    block = kvs.Block.from_definition(1011)
    before = block.value(use_as)
    with pytest.raises(error):
        block.set_value(use_as, value)
    after = block.value(use_as)
    assert (after.tolist() if isinstance(after, np.ndarray) else after) == \
        (before.tolist() if isinstance(before, np.ndarray) else before)
    assert block.element(use_as).status == 40


def test_texts_resize_their_element_and_keep_later_values():
    block = kvs.Block.from_definition(1020)
    block.set_value(0, 1.25, by="position")
    block.set_value(1, "Harbour-ß", by="position")
    assert block.value(1, by="position") == "Harbour-ß"
    assert block.element(1, by="position").length == 9
    assert block.value(0, by="position") == 1.25
    with pytest.raises(ValueError):
        block.set_value(1, "\u20ac", by="position")


@pytest.mark.parametrize("key, by", [(999, "use_as"), (300, "position"), (77, "id"), (-1, "position")])
def test_lookups_name_what_is_missing(key, by):
    block = kvs.Block.from_definition(1011)
    with pytest.raises(KeyError, match=str(key)):
        block.value(key, by=by)


def test_block_basics():
    block = kvs.Block.from_definition(1011, vessel_id=3)
    assert block.data_id.vessel_id == 3 and block.status == 40 and block.element(603).unit == "m"
    with pytest.raises(TypeError):
        block.array(601)
    with pytest.raises(ValueError):
        block.status = 64
    with pytest.raises(KeyError):
        kvs.Block.from_definition(4242)
    twin = block.copy()
    twin.set_value(601, 9)
    assert block.value(601) == 0


def test_written_stream_reads_back_byte_identical(multibeam_line, tmp_path):
    out = tmp_path / "copy.kvs"
    with kvs.read_stream(multibeam_line) as stream, kvs.write_stream(out) as writer:
        for block in stream:
            writer.write(block)
        assert writer.records_written == 40
    assert out.read_bytes() == multibeam_line.read_bytes()


def test_stream_failures(multibeam_line, tmp_path):
    with pytest.raises(kvs.StreamError):
        kvs.read_stream(tmp_path / "missing.kvs")
    cut = tmp_path / "cut.kvs"
    data = multibeam_line.read_bytes()
    cut.write_bytes(data[: len(data) - 100])
    blocks = []
    with pytest.raises(kvs.StreamError, match="offset"):
        for block in kvs.read_stream(cut):
            blocks.append(block)
    assert len(blocks) == 39
    stream = kvs.read_stream(multibeam_line)
    stream.close()
    with pytest.raises(ValueError):
        next(stream)
    with pytest.raises(ValueError, match="null"):
        kvs.write_stream(str(tmp_path / "a\0b"))
