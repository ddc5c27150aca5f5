#include <KvsDataBlocks/config/ProjectDefinition.h>
#include <KvsDataBlocks/platform/TextUtils.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::vector<std::string_view> SplitBlanks(std::string_view text)
{
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) ++i;
        if (i > start) fields.push_back(text.substr(start, i - start));
    }
    return fields;
}

// One "adjust" value; nullopt with why set when it is not a usable transform.
std::optional<GridAdjustment> ParseAdjustment(std::string_view value, std::string& why)
{
    const std::vector<std::string_view> fields = SplitBlanks(value);
    const std::string kind = fields.empty() ? std::string() : Lower(fields[0]);
    const size_t count = kind == "similarity" ? 4 : kind == "affine" ? 6 : 0;
    if (count == 0 || fields.size() != count + 1) {
        why = "'adjust' needs 'similarity tx ty scale rotation' or 'affine a b c d e f'";
        return std::nullopt;
    }
    double p[6] = {};
    for (size_t i = 0; i < count; ++i) {
        if (!ParseFiniteDouble(fields[i + 1], p[i])) {
            why = "'adjust': '" + std::string(fields[i + 1]) + "' is not a finite number";
            return std::nullopt;
        }
    }
    std::optional<GridAdjustment> adjustment =
        count == 4 ? GridAdjustment::Similarity(p[0], p[1], p[2], p[3]) : GridAdjustment::Affine(p[0], p[1], p[2], p[3], p[4], p[5]);
    if (!adjustment) why = count == 4 ? "'adjust': the scale must be positive" : "'adjust': the transform cannot be inverted";
    return adjustment;
}

// A value as quoted in a message: long texts (WKT) are cut.
std::string Shown(const std::string& value)
{
    return value.size() <= 60 ? value : value.substr(0, 57) + "...";
}

struct Setting
{
    std::string value;
    int line = 0; // 0: not given
};

// The keys of a project file, in the order they are documented.
enum Key { kGrid, kDatum, kGeoid, kAdjust, kKeyCount };
constexpr const char* kKeyNames[kKeyCount] = {"grid", "datum", "geoid", "adjust"};

} // namespace

ProjectDefinition::ProjectDefinition() = default;
ProjectDefinition::~ProjectDefinition() = default;

void ProjectDefinition::SetGeoCoordSys(std::unique_ptr<KvsGeoCoordSysBase> system)
{
    m_coordSys = std::move(system);
}

std::unique_ptr<KvsGeoCoordSysBase> ProjectDefinition::CreateNewCoordSys(const CString& gridCrs,
                                                                         const CString& datumCrs) const
{
    return KvsGeoCoordSysBase::Create(gridCrs, datumCrs);
}

bool ProjectDefinition::LoadProjectFile(const CString& fileName)
{
    try {
        std::ifstream in(fileName.str(), std::ios::binary);
        if (!in) {
            m_error = "cannot read file '" + fileName + "'";
            return false;
        }
        std::string text(static_cast<size_t>(kMaxFileSize) + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        if (in.bad()) {
            m_error = "cannot read file '" + fileName + "'";
            return false;
        }
        text.resize(static_cast<size_t>(in.gcount()));
        if (text.size() > static_cast<size_t>(kMaxFileSize)) {
            m_error = fileName + ": file too large";
            return false;
        }
        const std::filesystem::path folder = std::filesystem::path(fileName.str()).parent_path();
        return LoadProjectText(CString(std::move(text)), fileName, CString(folder.empty() ? std::string(".") : folder.string()));
    } catch (const std::exception&) {
        m_error = "cannot read file '" + fileName + "'";
        return false;
    }
}

bool ProjectDefinition::LoadProjectText(const CString& text, const CString& sourceName, const CString& directory)
{
    std::string error;
    auto lineError = [&](int line, const std::string& reason) {
        error = sourceName.str() + ": line " + std::to_string(line) + ": " + reason;
        return false;
    };

    try {
        Setting settings[kKeyCount];
        std::string_view rest = SkipByteOrderMark(text.str()), line;
        int lineNumber = 0;
        bool ok = true;
        while (ok && NextTextLine(rest, line)) {
            ++lineNumber;
            line = TrimBlanks(line);
            if (line.empty() || line.front() == '#') continue;
            bool control = false;
            for (char c : line)
                if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) control = true;
            if (control) {
                ok = lineError(lineNumber, "control character in the line");
                break;
            }
            const size_t equals = line.find('=');
            if (equals == std::string_view::npos) {
                ok = lineError(lineNumber, "expected 'key = value'");
                break;
            }
            const std::string key = Lower(TrimBlanks(line.substr(0, equals)));
            const std::string_view value = TrimBlanks(line.substr(equals + 1));
            int index = -1;
            for (int k = 0; k < kKeyCount; ++k)
                if (key == kKeyNames[k]) index = k;
            if (index < 0) {
                ok = lineError(lineNumber, "unknown key '" + key.substr(0, 40) + "'");
                break;
            }
            Setting& setting = settings[index];
            if (setting.line != 0) {
                ok = lineError(lineNumber, "'" + key + "' given twice (first on line " + std::to_string(setting.line) + ")");
                break;
            }
            if (value.empty()) {
                ok = lineError(lineNumber, "'" + key + "' has no value");
                break;
            }
            setting.value = std::string(value);
            setting.line = lineNumber;
        }

        std::optional<GridAdjustment> adjustment;
        if (ok && settings[kAdjust].line != 0) {
            std::string why;
            adjustment = ParseAdjustment(settings[kAdjust].value, why);
            if (!adjustment) ok = lineError(settings[kAdjust].line, why);
        }
        for (int k : {kGrid, kDatum}) {
            if (ok && settings[k].line == 0) {
                error = sourceName.str() + ": no '" + kKeyNames[k] + "' line";
                ok = false;
            }
        }

        std::unique_ptr<KvsGeoCoordSysBase> system;
        if (ok) {
            KvsGeoCoordSysBase::CreateError why;
            system = KvsGeoCoordSysBase::Create(CString(settings[kGrid].value), CString(settings[kDatum].value), &why);
            if (!system) {
                const Key k = why.part == KvsGeoCoordSysBase::CreateError::Datum ? kDatum : kGrid;
                ok = lineError(settings[k].line, "PROJ cannot use " + std::string(kKeyNames[k]) + " '" +
                                                     Shown(settings[k].value) + "': " + why.reason.str());
            }
        }
        if (ok && settings[kGeoid].line != 0) {
            CString why;
            if (!system->SetGeoidModel(CString(settings[kGeoid].value), directory, &why))
                ok = lineError(settings[kGeoid].line, "geoid model '" + Shown(settings[kGeoid].value) + "': " + why.str());
        }
        if (!ok) {
            m_error = CString(error);
            return false;
        }
        if (adjustment) system->SetGridAdjustment(*adjustment);
        m_coordSys = std::move(system);
        m_error.Empty();
        return true;
    } catch (const std::exception&) {
        m_error = sourceName + ": out of memory";
        return false;
    }
}
