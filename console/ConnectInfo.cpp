// Connect, the sensor information exchange and the configuration commands (ID, ranges).

#include "console/UKELTA_Display.h"

#include "console/ClickablePanel.h"
#include "console/LabeledEdit.h"
#include "console/core/SensorCommands.h"
#include "console/core/SensorInfo.h"
#include "console/core/StrToInt.h"
#include "serial/VaComm.h"

#include <QComboBox>
#include <QFrame>

namespace kelta {

namespace {

bool Contains(const std::string& text, const char* marker) {
  return text.find(marker) != std::string::npos;
}

QString FromWire(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void TFVANTORIS::Button3Click() {
  if (Connected == 0) {
    ClearReceived();
    // The first three characters, normally "COM", are skipped unchecked.
    const int32_t port = StrToInt(ePortNo->currentText().mid(3).toStdString());
    VaComm1().SetPortNum(port);
    VaComm1().Open();
    VaComm1().SetRtsLine(true);
    VaComm1().SetDtrLine(true);
    StopRequested = true;
  }
  btn10Click();
  if (Contains(LastLine, kMarkerInfo)) {
    Panel1->show();
    Panel2->hide();
  } else {
    dialogs_->ShowMessage(
        QStringLiteral("Can not connect to Sensor. Check the sensor or your PC!! "));
  }
}

void TFVANTORIS::btn10Click() {
  if (!Preamble(false)) return;
  SendAndAwait([] { return std::string(kCmdInfo); }, kMarkerInfo);
  if (!Contains(LastLine, kMarkerInfo)) return;
  FillInformation(LastLine);
}

void TFVANTORIS::FillInformation(const std::string& reply) {
  const SensorInfo info = ParseSensorInfo(reply);
  const auto item = [&info](size_t i) { return FromWire(info.items.at(i)); };

  lbeVersion->setText(item(0));
  lbeID->setText(item(1));
  lbeMode->setText(item(2));
  lbeCalDone->setText(item(3));
  lbeOffset->setText(item(4));
  lbeNRange->setText(item(5));
  lbePRange->setText(item(6));
  // The sensor reports a full turn as "0".
  if (lbePRange->text() == QStringLiteral("0")) lbePRange->setText(QStringLiteral("3600"));
  // Raised before items 8 to 21 are stored: a dial picture that fails to load ends the
  // action here, and those fields keep their previous texts.
  DialSettingsRead.Raise(lbePRange->text(), lbeMode->text());
  lbeMVGain->setText(item(7));
  lbeMVOffset->setText(item(8));
  for (size_t i = 0; i < lbeCal.size(); ++i) lbeCal[i]->setText(item(9 + i));
}

void TFVANTORIS::btIDchangeClick() {
  const QString typed = eID->text();
  const int32_t id = StrToInt(typed.toStdString());
  if (Connected == 0) {
    dialogs_->ShowMessage(QStringLiteral("Open Comport"));
    return;
  }
  if (id > 77) {
    dialogs_->ShowMessage(QStringLiteral("\"MAX ID = 77!!!. Please Insert again.\""));
    return;
  }
  if (!dialogs_->AskYesNo(QStringLiteral("Do you want ID Change(") + typed + QStringLiteral(")?")))
    return;
  // No preamble: a LastLine that already holds "OK" ends the exchange after one send.
  const std::string command = IdChangeCommand(typed.toStdString());
  SendAndAwait([&command] { return command; }, kMarkerOk);
  if (Contains(LastLine, kMarkerOk)) btn10Click();
}

void TFVANTORIS::Button25Click() {
  if (!Preamble(false)) return;
  SendAndAwait([this] { return NegativeRangeCommand(leRangeN->text().toStdString()); }, kMarkerOk);
  if (Contains(LastLine, kMarkerOk)) btn10Click();
}

void TFVANTORIS::Button26Click() {
  if (!Preamble(false)) return;
  SendAndAwait([this] { return PositiveRangeCommand(leRangeP->text().toStdString()); }, kMarkerOk);
  if (Contains(LastLine, kMarkerOk)) btn10Click();
}

}  // namespace kelta
