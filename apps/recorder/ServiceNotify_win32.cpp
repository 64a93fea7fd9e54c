// Windows services are told their state through the service control manager, which runs
// kelta-record as a console program only: nothing to notify.
#include "apps/recorder/ServiceNotify.h"

namespace kelta::record {

ServiceNotify::ServiceNotify() = default;
ServiceNotify::~ServiceNotify() = default;
void ServiceNotify::Ready(const std::string&) {}
void ServiceNotify::Status(const std::string&) {}
void ServiceNotify::Stopping() {}
void ServiceNotify::Alive() {}
void ServiceNotify::Send(const std::string&) {}

}  // namespace kelta::record
