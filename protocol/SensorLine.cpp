#include "protocol/SensorLine.h"

#include "serial/VaComm.h"

namespace kelta {

void SetSensorLine(TVaCustomComm& port) {
  port.SetBaudrate(TVaBaudrate::br9600);
  TVaFlowControl& flow = port.FlowControl();
  flow.SetOutCtsFlow(false);
  flow.SetOutDsrFlow(false);
  flow.SetControlDtr(TVaControlDtr::dtrDisabled);
  flow.SetControlRts(TVaControlRts::rtsDisabled);
  flow.SetXonXoffOut(false);
  flow.SetXonXoffIn(false);
  flow.SetDsrSensitivity(false);
  flow.SetTxContinueOnXoff(false);
}

}  // namespace kelta
