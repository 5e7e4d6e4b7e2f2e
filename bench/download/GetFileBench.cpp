// Downloads one URL through the file getter the way the Download button does (mode "from
// cache"), with the main window's progress handling attached to a real status panel and gauge.
// Prints "<bytes> <seconds>". Usage: bench_getfile <url> <file>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>

#include <cstdio>
#include <sys/stat.h>

#include "controls/FlatGauge.h"
#include "download/DownloadDriver.h"
#include "download/HttpGet.h"
#include "net/HttpCli.h"
#include "compat/Registry.h"

namespace {

class BenchForm : public tavimo::DownloadForm {
 public:
  BenchForm() {
    window.resize(400, 60);
    gauge = new tavimo::TFlatGauge(&window);
    gauge->setGeometry(8, 8, 380, 20);
    status = new QLabel(&window);
    status->setGeometry(8, 8, 380, 20);
    window.show();
  }
  void ShowMessage(const std::string&, const std::string&) override {}
  std::string RootFieldText() const override { return "/tmp/"; }
  void SetDownloadRoot(const std::string&) override {}
  std::string SelectedCategory() const override { return "--"; }
  int ItemCount() const override { return 0; }
  bool ItemChecked(int) const override { return false; }
  std::string ItemUrl(int) const override { return {}; }
  std::string ItemSaveName(int) const override { return {}; }
  int FirstSelectedItem() const override { return -1; }
  int DownloadMode() const override { return 0; }
  bool AutoClose() const override { return false; }
  bool ReadProxySettings(std::string&, std::string&) override { return false; }
  void SetStatusVisible(bool v) override { status->setVisible(v); }
  void SetStatusText(const std::string& t) override { status->setText(QString::fromStdString(t)); }
  void SetGaugeProgress(int v) override { gauge->SetProgress(v); }
  int GaugeProgress() const override { return gauge->Progress(); }
  void HideAndClear() override {}

  QWidget window;
  tavimo::TFlatGauge* gauge;
  QLabel* status;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <url> <file>\n", argv[0]);
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  BenchForm form;
  const tavimo::EnvRegistrySource registry;  // the proxy a user has set, as the window reads it
  tavimo::THTTPGet getter(registry);
  tavimo::THttpCli cli;
  tavimo::TDownloadDriver driver(form, getter, cli);
  // The body is larger than a movie may be by default: the bench measures the transfer.
  getter.MaxMovieBytes = driver.MaxMovieBytes = std::int64_t{1} << 30;
  QElapsedTimer timer;
  timer.start();
  driver.DownloadItems({argv[1]}, {argv[2]});
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  struct stat st {};
  ::stat(argv[2], &st);
  std::printf("%lld %.6f\n", static_cast<long long>(st.st_size), seconds);
  return getter.LastOutcome() ? 0 : 1;
}
