#include "app/ChartImageCommand.h"

#include "app/ChartLoader.h"
#include "base/Report.h"
#include "base/Translate.h"
#include "chart/Convert.h"
#include "platform/Font.h"
#include "render/ChartImage.h"

#include <exception>

namespace tappo {

int RunChartImage(const CommandLine& cl) {
    const std::string& chart = cl.Arguments.front();
    ChartScore score;
    try {
        score = ScoreChartFile(chart, LocaleDecimalSeparator(), ChartReadingOf(cl, false));
    } catch (const CompileError& e) {
        ReportOnConsole(CompileErrorText(chart, e));
        return 1;
    }
    TextRenderer font;
    const Lettering letters = [&font](int points, const std::string& utf8) {
        const TextMask& mask = font.Render(points, utf8);
        return InkedText{mask.Width, mask.Height, mask.Bits.empty() ? nullptr : mask.Bits.data()};
    };
    ChartImageLimits limits;
    limits.MeasuresPerColumn = cl.ChartImageMeasures;
    try {
        for (const std::string& file : WriteChartImages(score, cl.ChartImage, limits, letters))
            ReportOnConsole(FormatText(Tr("wrote the chart image %s"), file));
    } catch (const std::exception& e) {
        ReportOnConsole(cl.ChartImage + ": " + e.what());
        return 1;
    }
    return 0;
}

} // namespace tappo
