// Formula evaluation: a CForm parsed once and executed many times, next to muParser
// evaluating the same expressions, for Sqrt(var0^2 + var1^2) and var0*2+var1/3-var2.
// The variables change before every evaluation, in both engines alike (a plain store into
// the bound number), and each evaluation reads the result. At the end the
// ratio of the times (ours / muParser, below 1 is faster) is printed per expression,
// from the medians when --benchmark_repetitions is given.
#include <KvsDataBlocks/formula/CForm.h>
#include <KvsDataBlocks/values/CKvsDouble.h>

#include <benchmark/benchmark.h>

#ifdef KVS_HAVE_MUPARSER
#include <muParser.h>
#endif

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Expression
{
    const char* name;
    const char* kvs;
    const char* muparser;
};

constexpr Expression kExpressions[] = {
    {"Hypot", "Sqrt(var0^2 + var1^2)", "sqrt(var0^2 + var1^2)"},
    {"Linear", "var0*2+var1/3-var2", "var0*2+var1/3-var2"},
};

void BM_KvsForm(benchmark::State& state, const Expression& e)
{
    CKvsDouble v0(3.0), v1(4.0), v2(5.0);
    CForm form;
    form.SetVar(0, &v0);
    form.SetVar(1, &v1);
    form.SetVar(2, &v2);
    if (!form.SetFormula(e.kvs)) {
        state.SkipWithError("formula does not parse");
        return;
    }
    double x = 1.0;
    double sum = 0.0;
    for (auto _ : state) {
        x += 0.25;
        v0.SetValue(x);
        v1.SetValue(x + 1.0);
        form.Execute();
        CKvsType* result = nullptr;
        form.GetResult(result);
        double r = 0.0;
        result->GetDouble(r);
        sum += r;
    }
    benchmark::DoNotOptimize(sum);
}

#ifdef KVS_HAVE_MUPARSER
void BM_MuParser(benchmark::State& state, const Expression& e)
{
    double v0 = 3.0, v1 = 4.0, v2 = 5.0;
    mu::Parser parser;
    try {
        parser.DefineVar("var0", &v0);
        parser.DefineVar("var1", &v1);
        parser.DefineVar("var2", &v2);
        parser.SetExpr(e.muparser);
        parser.Eval(); // the first evaluation builds the byte code
    } catch (const mu::Parser::exception_type&) {
        state.SkipWithError("muParser does not parse the expression");
        return;
    }
    double x = 1.0;
    double sum = 0.0;
    for (auto _ : state) {
        x += 0.25;
        v0 = x;
        v1 = x + 1.0;
        benchmark::DoNotOptimize(v0);
        benchmark::DoNotOptimize(v1);
        sum += parser.Eval();
    }
    benchmark::DoNotOptimize(sum);
}
#endif

// Prints the usual console table, then one ratio line per expression.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            Entry& entry = m_times[run.run_name.function_name];
            if (median || !entry.median) entry = Entry{run.GetAdjustedCPUTime(), median};
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const Expression& e : kExpressions) {
            const auto ours = m_times.find(std::string("BM_KvsForm/") + e.name);
            const auto theirs = m_times.find(std::string("BM_MuParser/") + e.name);
            if (ours == m_times.end()) continue;
            std::printf("%-7s %-24s CForm %7.1f ns", e.name, e.kvs, ours->second.ns);
            if (theirs != m_times.end() && theirs->second.ns > 0.0)
                std::printf("  muParser %7.1f ns  ratio %.2f", theirs->second.ns, ours->second.ns / theirs->second.ns);
            std::printf("%s\n", ours->second.median ? "  (medians)" : "");
        }
    }

private:
    struct Entry
    {
        double ns = 0.0;
        bool median = false;
    };
    std::map<std::string, Entry> m_times;
};

} // namespace

int main(int argc, char** argv)
{
    for (const Expression& e : kExpressions) {
        benchmark::RegisterBenchmark((std::string("BM_KvsForm/") + e.name).c_str(), BM_KvsForm, e);
#ifdef KVS_HAVE_MUPARSER
        benchmark::RegisterBenchmark((std::string("BM_MuParser/") + e.name).c_str(), BM_MuParser, e);
#endif
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
