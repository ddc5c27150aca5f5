"""Telegram formulas give what `kvsblocks formula` gives; errors raise FormulaError."""
import datetime

import pytest

import kvsdatablocks as kvs

CASES = [  # formula, keyword arguments, the tool's options
    ("Sqrt(var0^2 + var1^2)", {"vars": {0: 3, 1: 4}}, ["--var", "0=3", "--var", "1=4"]),
    ('var0 + "," + vesselName', {"texts": {0: "GPHDT"}, "vessel": "Snellius"}, ["--var", '0="GPHDT"', "--vessel", "Snellius"]),
    ('NMEACS("$GPHDT,123.4,T")', {}, []),
    ("Modulo(var0, 7) + Int(var1)", {"vars": [23, 2.7]}, ["--var", "0=23", "--var", "1=2.7"]),
    ("var3", {"ints": {3: -12}}, ["--int", "3=-12"]),
    ("C2D(var0, var1)", {"vars": [1, 2]}, ["--var", "0=1", "--var", "1=2"]),
    ("tim2 / 1000", {"times": {2: datetime.datetime(2026, 1, 1, 0, 0, 1)}}, ["--tim", "2=2026-01-01 00:00:01"]),
]


@pytest.mark.parametrize("formula, kwargs, options", CASES)
def test_results_match_the_tool(tool, formula, kwargs, options):
    want = tool("formula", formula, *options, "--json", as_json=True)["result"]
    got = kvs.evaluate(formula, **kwargs)
    assert (list(got) if isinstance(got, tuple) else got) == pytest.approx(want)


@pytest.mark.parametrize("formula", ["var0 + foo(1)", "(1+2", "FormatGeogsDMS(var0, 1, 3)", "Sqrt(1, "])
def test_parse_errors_raise_the_code_text_and_column_the_tool_reports(tool, formula):
    want = tool("formula", formula, "--var", "0=52.5", "--json", as_json=True, check=False)["error"]
    with pytest.raises(kvs.FormulaError) as caught:
        kvs.evaluate(formula, vars={0: 52.5})
    e = caught.value
    assert (e.code, e.text, e.column) == (want["code"], want["text"], want["column"])
    assert str(e) == f"formula error {e.code} at column {e.column}: {e.text}" and isinstance(e, ValueError)


def test_execution_and_binding_errors():
    with pytest.raises(kvs.FormulaError) as caught:
        kvs.evaluate("AttCor(var0, var1)", vars=[1, 2])
    assert (caught.value.code, caught.value.column) == (1, None)
    with pytest.raises(kvs.FormulaError, match="Unassigned variable"):
        kvs.evaluate("var7 * 2")
    with pytest.raises(ValueError, match="49"):
        kvs.evaluate("var0", vars={50: 1})
    with pytest.raises(ValueError, match="more than once"):
        kvs.evaluate("var0", vars={0: 1}, ints={0: 2})


def test_block_elements_bind_as_the_tool_binds_a_stream(tool, multibeam_line):
    formula = "EntryValue(dataElem49) + EntryStatus(dataElem0) + tim0 / 1000"
    want = tool("formula", formula, "--elem", "49=505", "--stream", multibeam_line, "--json", as_json=True)
    got = [kvs.evaluate(formula, block=b, elements={49: 505}) for b in kvs.read_stream(multibeam_line)]
    assert got == [w["result"] for w in want]
