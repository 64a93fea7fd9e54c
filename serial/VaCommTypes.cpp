#include "serial/VaCommTypes.h"

namespace kelta {

std::uint32_t BaudrateValue(TVaBaudrate rate) {
  switch (rate) {
    case TVaBaudrate::brUser:
      return 0;
    case TVaBaudrate::br110:
      return 110;
    case TVaBaudrate::br300:
      return 300;
    case TVaBaudrate::br600:
      return 600;
    case TVaBaudrate::br1200:
      return 1200;
    case TVaBaudrate::br2400:
      return 2400;
    case TVaBaudrate::br4800:
      return 4800;
    case TVaBaudrate::br9600:
      return 9600;
    case TVaBaudrate::br14400:
      return 14400;
    case TVaBaudrate::br19200:
      return 19200;
    case TVaBaudrate::br38400:
      return 38400;
    case TVaBaudrate::br56000:
      return 56000;
    case TVaBaudrate::br57600:
      return 57600;
    case TVaBaudrate::br115200:
      return 115200;
    case TVaBaudrate::br128000:
      return 128000;
    case TVaBaudrate::br256000:
      return 256000;
  }
  return 0;
}

std::uint32_t CommEventBit(TVaCommEvent event) {
  switch (event) {
    case TVaCommEvent::ceBreak:
      return EV_BREAK;
    case TVaCommEvent::ceCts:
      return EV_CTS;
    case TVaCommEvent::ceDsr:
      return EV_DSR;
    case TVaCommEvent::ceError:
      return EV_ERR;
    case TVaCommEvent::ceRing:
      return EV_RING;
    case TVaCommEvent::ceRlsd:
      return EV_RLSD;
    case TVaCommEvent::ceRxChar:
      return EV_RXCHAR;
    case TVaCommEvent::ceTxEmpty:
      return EV_TXEMPTY;
    case TVaCommEvent::ceRxFlag:
      return EV_RXFLAG;
    case TVaCommEvent::cePErr:
      return EV_PERR;
    case TVaCommEvent::ceRx80Full:
      return EV_RX80FULL;
    case TVaCommEvent::ceEvent1:
      return EV_EVENT1;
    case TVaCommEvent::ceEvent2:
      return EV_EVENT2;
  }
  return 0;
}

}  // namespace kelta
