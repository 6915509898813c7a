// bench_window_open BIN RESULT: the View Data window as Tools > View Data opens it (offscreen),
// reading BIN; writes the seconds until its chart is filled into RESULT. Run by bench_readers.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

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
    if (argc != 3) {
        std::fprintf(stderr, "Usage: bench_window_open BIN RESULT\n");
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
    return 0;
}
