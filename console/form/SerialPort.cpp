// The form's serial port: its fixed line settings and the binding of its notifications.

#include "console/form/ConsoleForm.h"

#include "protocol/SensorLine.h"
#include "serial/VaComm.h"

namespace kelta {

void ConsoleForm::CreatePort(std::shared_ptr<IGuiDispatcher> dispatcher) {
  comm_ = std::make_unique<TVaComm>();
  TVaComm& port = *comm_;
  port.SetDeviceName("\\\\.\\COM%d");
  SetSensorLine(port);
  // The ports/comN links are looked up where the settings live.
  port.SetExeDir(appDir_);
  port.SetDispatcher(std::move(dispatcher));

  port.OnOpen = [this](TVaCustomComm*) { VaComm1Open(); };
  port.OnClose = [this](TVaCustomComm*) { VaComm1Close(); };
  port.OnError = [this](TVaCustomComm*, int errors) {
    VaComm1Error(static_cast<uint32_t>(errors));
  };
  port.OnRxChar = [this](TVaCustomComm*, int) { VaComm1RxChar(); };
  // What a notification handler throws ends up here rather than in a worker thread.
  port.OnException = [this](const std::exception& e) { Guarded([this, &e] { AppException(e); }); };
}

}  // namespace kelta
