#include "chart/Reading.h"

#include "base/Translate.h"
#include "chart/ShiftJis.h"
#include "chart/exact/Compiler.h"
#include "chart/exact/HeaderScan.h"
#include "chart/exact/Inspect.h"
#include "chart/exact/Score.h"
#include "chart/standard/Convert.h"
#include "chart/standard/Lines.h"
#include "chart/standard/Score.h"

#include <memory>
#include <random>

namespace tappo {

ChartReading WithSeparator(ChartReading reading, char decimalSeparator) {
    reading.Options.DecimalSeparator = decimalSeparator;
    return reading;
}

bool ChartReading::IsChartFile(const std::string& path) const {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    std::string last = path.substr(dot);
    for (char& c : last)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return last == ".bms" ||
           (Standard && (last == ".bme" || last == ".bml" || last == ".pms" || last == ".bmson"));
}

void ChartReading::ScanHeader(const std::string& path, PlaySettings& state,
                              ChartHeader& header) const {
    if (Standard)
        standard::ScanHeader(path, *this, state, header);
    else
        exact::ScanHeader(path, state, header, Options.DecimalSeparator);
}

std::string ChartReading::ScanErrorReason(const std::exception& e) {
    const auto* named = dynamic_cast<const standard::ChartFileError*>(&e);
    return named ? named->Reason() : e.what();
}

std::string ChartReading::ScanErrorReport(const std::string& path, const std::exception& e) const {
    const std::string message = e.what();
    if (!Standard || dynamic_cast<const standard::ChartFileError*>(&e) ||
        message.find(ChartTextToUtf8(path)) != std::string::npos)
        return {};
    return ChartTextToUtf8(path) + ": " + message;
}

std::function<std::string(const std::string& path)> ChartReading::TitleReader() const {
    if (Standard)
        return [own = *this](const std::string& path) {
            return standard::ScanTitle(path, own); // a chart it cannot read throws
        };
    return [separator = Options.DecimalSeparator](const std::string& path) {
        PlaySettings state;
        ChartHeader header;
        try {
            exact::ScanHeader(path, state, header, separator);
        } catch (const std::exception&) {
            // the title the scan reached, if any
        }
        return header.Title;
    };
}

std::string ChartReading::BannerOf(const std::string& chartPath) const {
    return Standard ? standard::BannerFile(chartPath) : std::string();
}

std::string ChartReading::StageFileOf(const std::string& chartPath) const {
    return Standard ? standard::StageFile(chartPath) : std::string();
}

std::string ChartReading::PreviewOf(const std::string& chartPath) const {
    return Standard ? standard::PreviewFile(chartPath) : std::string();
}

std::string ChartReading::UnreadTextReason(std::string_view bytes) const {
    std::string converted;
    if (Standard) bytes = standard::ChartText(bytes, converted);
    if (bytes.size() >= 2 &&
        ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
        return Tr("the chart is saved as UTF-16, which only --standard reads: nothing of it plays");
    const size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) return {};
    size_t line = 1;
    for (size_t i = 0; i < nul; ++i)
        line += bytes[i] == '\n' || (bytes[i] == '\r' && i + 1 < nul && bytes[i + 1] != '\n');
    return FormatText(Tr("the chart text ends at a NUL byte on line %s: nothing after it plays"),
                      std::to_string(line));
}

CompiledChart CompileChartFileAs(const ChartReading& reading, const std::string& path,
                                 char decimalSeparator, const ChartCarryOver& before) {
    if (!reading.Standard) return exact::CompileFile(path, decimalSeparator, before);
    standard::Options options = WithSeparator(reading, decimalSeparator).Options;
    if (reading.DrawAtRandom) {
        std::random_device device;
        options.UseSeed = true;
        options.Seed = (uint64_t(device()) << 32) | device();
    }
    const auto chart =
        std::make_unique<standard::Chart>(standard::CompileFile(path, options, before));
    return standard::ToCompiled(*chart, path, reading.ArrowLanes);
}

std::string InspectChart(const std::string& path, char decimalSeparator,
                         const ChartReading& reading) {
    if (!reading.Standard) return exact::Inspect(path, decimalSeparator);
    const auto chart = std::make_unique<standard::Chart>(
        standard::CompileFile(path, WithSeparator(reading, decimalSeparator).Options));
    return standard::InspectListing(*chart, path, standard::MissingFiles(*chart, path));
}

ChartScore ScoreChartFile(const std::string& path, char decimalSeparator,
                          const ChartReading& reading) {
    if (!reading.Standard) return exact::ScoreOfFile(path, decimalSeparator);
    const auto chart = std::make_unique<standard::Chart>(
        standard::CompileFile(path, WithSeparator(reading, decimalSeparator).Options));
    return standard::ScoreOf(*chart, path, reading.ArrowLanes);
}

} // namespace tappo
