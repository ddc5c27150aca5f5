// Feeds arbitrary text to CForm::SetFormula and executes what parses, with variables of
// every value class, times and data elements of a block bound, as a telegram driver
// binds them. Parsing must succeed or report a known code at a column inside the text;
// a parsed formula must execute (twice, and in a copy of the form) without faults, and a
// run that fails names a call of the text.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/values/CKvsDouble.h>
#include <KvsDataBlocks/values/CKvsDouble2D.h>
#include <KvsDataBlocks/values/CKvsDouble3D.h>
#include <KvsDataBlocks/values/CKvsInt.h>
#include <KvsDataBlocks/values/CKvsName.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

// The values a driver binds: numbers of every class, texts, vectors, times and elements.
struct Bindings
{
    CKvsDouble d0{52.5};
    CKvsDouble d1{4.25};
    CKvsDouble d2{-3.0};
    CKvsDouble zero{0.0};
    CKvsDouble huge{1e308};
    CKvsDouble nan{std::numeric_limits<double>::quiet_NaN()};
    CKvsInt i0{7};
    CKvsInt iMin{std::numeric_limits<int>::min()};
    CKvsName telegram{CString("$GPGGA,123519.25,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47")};
    CKvsName empty{CString("")};
    CKvsDouble2D v2{3.0, 4.0};
    CKvsDouble3D v3{1.0, -2.0, 0.5};
    CKvsDouble t0{1.7e12}; // milliseconds since 1970
    CKvsInt t1{0};
    CDataBlock block;
    CKvsBytePtr elements[6];

    Bindings()
    {
        block.Allocate(6);
        block.InitDataElement(0, 1, ET_DOUBLE, 8, 0, 505);
        block.InitDataElement(1, 2, ET_INT, 4, 0, 506);
        block.InitDataElement(2, 3, ET_STRING, 12, 0, 507);
        block.InitDataElement(3, 4, ET_FLOAT_ARRAY, 16, 0, 508);
        block.InitDataElement(4, 5, ET_UCHAR, 1, 0, 509);
        block.InitDataElement(5, 6, ET_BOOL, 1, 0, 510);
        block.Init();
        block.SetDataValue(0, 52.125, 0, CDataBlock::kByPosition);
        block.SetDataValue(1, -17, 0, CDataBlock::kByPosition);
        for (unsigned short i = 0; i < 6; ++i) block.GetDataIdx(i, elements[i]);
    }

    void Bind(CForm& form)
    {
        CKvsType* vars[] = {&d0, &d1, &d2, &zero, &huge, &nan, &i0, &iMin, &telegram, &empty, &v2, &v3};
        for (int i = 0; i < static_cast<int>(std::size(vars)); ++i) form.SetVar(i, vars[i]);
        form.SetTim(0, &t0);
        form.SetTim(1, &t1);
        for (int i = 0; i < 6; ++i) form.SetDataElem(i, &elements[i]);
        form.SetVesselName("Snellius");
    }
};

void ExecuteAndRead(CForm& form, bool parsed, size_t size)
{
    const bool ran = form.Execute();
    if (!parsed) {
        Check(!ran);
        return;
    }
    CKvsType* result = nullptr;
    if (ran && form.GetResult(result)) {
        Check(result != nullptr);
        CString text;
        result->GetValueStr(text);
        double d = 0.0;
        result->GetDouble(d);
        // The same object holds the result of the next run.
        CKvsType* again = nullptr;
        Check(form.Execute() && form.GetResult(again) && again == result);
    } else if (!ran) {
        // A failed run is a call without implementation or a refused value operation,
        // and it names the call where the text writes it.
        const int code = form.GetExecError();
        Check(code == CForm::ErrEmptyFunction || code == CForm::ErrCalculation);
        CString name;
        int column = 0;
        Check(form.GetExecErrorCall(name, column) && !name.IsEmpty());
        Check(column >= 1 && column <= static_cast<int>(size));
        CKvsType* none = nullptr;
        Check(!form.GetResult(none));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Long formulas too (fuzz_formula.options: -max_len=262144), so that parsing that is
    // not linear in the length shows as a timeout.
    if (size > 262144) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    Bindings bindings;
    CForm form;
    bindings.Bind(form);
    const bool parsed = form.SetFormula(CString(text));
    int code = 0, column = 0;
    form.GetError(code, column);
    Check(parsed == (code == 0));
    Check((code >= 0 && code <= 13) || code == CForm::ErrTooManyArguments);
    Check(column >= 1 && column <= static_cast<int>(size) + 1);
    CString errorText;
    form.GetErrorText(errorText);
    Check(!errorText.IsEmpty());
    ExecuteAndRead(form, parsed, size);

    // A copy owns calls of its own; the original keeps working after the copy is gone.
    {
        CForm copy(form);
        ExecuteAndRead(copy, parsed, size);
        CForm assigned;
        assigned = copy;
        ExecuteAndRead(assigned, parsed, size);
    }
    ExecuteAndRead(form, parsed, size);

    // Parsing again releases the first formula; the bindings stay.
    Check(form.SetFormula("var0 + var1"));
    CKvsType* result = nullptr;
    Check(form.Execute() && form.GetResult(result));
    double sum = 0.0;
    Check(result->GetDouble(sum) && sum == 56.75);
    return 0;
}
