// bench_window_open BIN RESULT [zoom]: the View Data window as Tools > View Data opens it
// (offscreen), reading BIN; writes the seconds until its chart is filled into RESULT. Run by
// bench_readers. With "zoom", it then zooms in step by step (as "+" does) down to ten seconds
// and prints each step's time until its chart is drawn again.
#include <QApplication>
#include <QChart>
#include <QElapsedTimer>
#include <QValueAxis>
#include <cstdio>

#include "chart/ReadingsChart.h"
#include "common/modGlobals.h"
#include "forms/FormContext.h"
#include "forms/frmViewData.h"

namespace {

class Quiet final : public vsdl::forms::IMessages {
  public:
    void Show(QWidget*, const QString&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "Usage: bench_window_open BIN RESULT [zoom]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    modGlobals::Reset();
    Quiet quiet;
    vsdl::forms::FormContext context;
    context.messages = &quiet;
    QElapsedTimer clock;
    clock.start();
    frmViewData view(context);
    view.show();
    view.LoadFile(QString::fromLocal8Bit(argv[1]));
    QApplication::processEvents();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::FILE* out = std::fopen(argv[2], "w");
    if (out == nullptr || view.sets().empty()) return 1;
    std::fprintf(out, "%.6f\n", seconds);
    std::fclose(out);
    if (argc == 4) {
        auto* time = qobject_cast<QValueAxis*>(view.chart()->axes(Qt::Horizontal).value(0));
        for (int step = 1; time != nullptr && time->max() - time->min() > 10.0; ++step) {
            clock.restart();
            vsdl::chart::ZoomTime(*view.chart(), 2.0);
            QApplication::processEvents();
            std::printf("zoom step %2d: %8.0f s in view, %6.1f ms\n", step,
                        time->max() - time->min(), static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
    }
    return 0;
}
