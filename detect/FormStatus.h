#pragma once
// The foot of the main window as the scan and the downloads drive it: the status panel
// (statubar) lies exactly over the gauge (Gauge1, 0..100), so hiding the panel shows the gauge.
#include <string>

namespace tavimo {

class FormStatus {
 public:
  virtual ~FormStatus() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void SetStatusVisible(bool visible) = 0;
  // Called once per received block during downloads: cheap when the value does not change.
  virtual void SetGaugeProgress(int value) = 0;
  virtual int GaugeProgress() const = 0;
  // ReadProxySettings of the settings store: true and host/port when the browser names a proxy.
  virtual bool ReadProxySettings(std::string& host, std::string& port) = 0;
};

}  // namespace tavimo
