#include "chart/Reading.h"

#include "chart/exact/Compiler.h"
#include "chart/exact/Inspect.h"
#include "chart/standard/Convert.h"

#include <memory>
#include <random>

namespace tappo {

ChartReading WithSeparator(ChartReading reading, char decimalSeparator) {
    reading.Options.DecimalSeparator = decimalSeparator;
    return reading;
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

} // namespace tappo
