"""The module writes as the tool writes: whole or not at all, never onto a file it reads,
through links; settings files and formulas say what they cannot use."""
import os

import pytest

import kvsdatablocks as kvs


def copy_stream(source, target, **kwargs):
    with kvs.read_stream(source) as stream, kvs.write_stream(target, **kwargs) as out:
        for block in stream:
            out.write(block)


def test_a_stream_is_never_written_onto_one_being_read(multibeam_line, tmp_path):
    line = tmp_path / "s.kvs"
    line.write_bytes(multibeam_line.read_bytes())
    os.link(line, tmp_path / "hard.kvs")
    for target in (line, tmp_path / "hard.kvs", tmp_path / "." / "s.kvs"):
        with pytest.raises(kvs.StreamError, match="is a file this program is reading"):
            copy_stream(line, target)
    assert line.read_bytes() == multibeam_line.read_bytes()


def test_a_stream_is_written_whole_or_not_at_all_unless_partial(multibeam_line, tmp_path):
    out = tmp_path / "out.kvs"
    for partial, expected in ((False, 0), (True, 5)):
        out.write_bytes(b"old")
        with pytest.raises(RuntimeError, match="stop"):
            with kvs.read_stream(multibeam_line) as stream, kvs.write_stream(out, partial=partial) as writer:
                for n, block in enumerate(stream):
                    if n == 5:
                        raise RuntimeError("stop")
                    writer.write(block)
        if expected:
            assert sum(1 for _ in kvs.read_stream(out)) == expected
        else:
            assert out.read_bytes() == b"old"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["out.kvs"]


def test_a_link_stays_a_link_and_a_loop_is_refused(multibeam_line, tmp_path):
    (tmp_path / "dangling.kvs").symlink_to("made.kvs")
    copy_stream(multibeam_line, tmp_path / "dangling.kvs")
    assert (tmp_path / "dangling.kvs").is_symlink() and (tmp_path / "made.kvs").read_bytes() == multibeam_line.read_bytes()
    (tmp_path / "a").symlink_to("b")
    (tmp_path / "b").symlink_to("a")
    with pytest.raises(kvs.StreamError, match="loop of symbolic links"):
        kvs.write_stream(tmp_path / "a")


def test_settings_files_warn_of_wrong_types_and_name_what_cannot_be_read(tmp_path):
    attr = tmp_path / "typed.attr"
    attr.write_text("DepthFilter = int:1\nFilterMinDepth = string:100\nFilterMaxDepth = int:200\n")
    with pytest.warns(UserWarning) as warned:
        kvs.MultibeamFilter(str(attr))
    assert [str(w.message).split(": ", 1)[1] for w in warned] == [
        "line 1: setting 'DepthFilter' is read as bool, not int (write DepthFilter = bool:...) - ignored",
        "line 2: setting 'FilterMinDepth' is read as double, not string (write FilterMinDepth = double:...) - ignored"]
    with pytest.raises(TypeError, match="'DepthFilter' takes a bool, not int"):
        kvs.MultibeamFilter({"DepthFilter": 1})
    with pytest.raises(kvs.SettingsError, match="is a folder, not a file"):
        kvs.MultibeamFilter(str(tmp_path))


@pytest.mark.parametrize("formula, code, text", [
    ("1e308*10", 14, "Calculation failed"), ("2^1e6", 14, "Calculation failed"),
    ("Sqrt(1,2)", 15, "Too many function arguments: Sqrt takes 1 argument, given 2"),
    ('"' + "x" * 1024 + '"', 4, "Formula buffer overflow: a text, number or word of 1024 characters"),
])
def test_formulas_fail_rather_than_give_what_is_not_so(formula, code, text):
    with pytest.raises(kvs.FormulaError) as error:
        kvs.evaluate(formula)
    assert (error.value.code, error.value.text.startswith(text)) == (code, True), error.value.text


@pytest.mark.parametrize("call, message", [
    (lambda: kvs.geodesy.inverse(0, 0, 1, 1, ellipsoid=("big", 298)), "ellipsoid: a must be a number, not str"),
    (lambda: kvs.evaluate("var0", texts={0: 5}), "texts: var0 must be a str, not int"),
])
def test_wrong_argument_types_are_named_with_what_was_expected(call, message):
    with pytest.raises((TypeError, ValueError)) as error:
        call()
    assert message in str(error.value) and "Unable to cast" not in str(error.value)
