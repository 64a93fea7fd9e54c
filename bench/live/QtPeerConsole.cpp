// qt_peer_console: the sensor's console as a plain Qt program would be written, the yardstick
// bench_console_live holds the real console against. QSerialPort on the GUI thread; each data
// frame goes to a QPlainTextEdit line, a QLCDNumber and a needle turned by QPainter over the
// dial picture, repainted through update(); each is written to a CSV row with the time it was
// decoded, as the console's recording stamps its readings.
//
//   qt_peer_console PORT CSV SECONDS
//
// Sends "#READ", reads for SECONDS, sends "#STOP", goes on reading until the line has been
// quiet for a second (at most 30 s), then writes out the CSV and ends. CSV rows:
// "<milliseconds since 1970>,<frame text>".

#include "graphics/dial/DialComposer.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QLCDNumber>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// As many lines as the console keeps in its list.
constexpr int kListLines = 10000;
constexpr int kQuietMs = 1000;
constexpr int kLongestDrainMs = 30000;

class NeedleView final : public QWidget {
 public:
  explicit NeedleView(QWidget* parent) : QWidget(parent) {
    dial_.load(QStringLiteral("img/Mode0.png"));
    needle_.load(QStringLiteral("img/arrow2.PNG"));
    resize(dial_.size());
  }
  bool Loaded() const { return !dial_.isNull() && !needle_.isNull(); }
  void SetAngle(double angle) {
    angle_ = angle;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(kelta::gfx::kNeedleShiftX + kelta::gfx::kNeedlePivotX,
                      kelta::gfx::kNeedleShiftY + kelta::gfx::kNeedlePivotY);
    painter.rotate(angle_);
    painter.drawImage(QPointF(-kelta::gfx::kNeedlePivotX, -kelta::gfx::kNeedlePivotY), needle_);
    painter.resetTransform();
    painter.drawImage(0, 0, dial_);
  }

 private:
  QImage dial_, needle_;
  double angle_ = 0;
};

class PeerWindow final : public QWidget {
 public:
  PeerWindow(const QString& port, const QString& csvPath) : csv_(csvPath) {
    resize(740, 540);
    memo_ = new QPlainTextEdit(this);
    memo_->setGeometry(0, 0, 200, 530);
    memo_->setReadOnly(true);
    memo_->setMaximumBlockCount(kListLines);
    lcd_ = new QLCDNumber(7, this);
    lcd_->setGeometry(210, 0, 200, 40);
    needle_ = new NeedleView(this);
    needle_->move(210, 44);
    port_.setPortName(port);
    QObject::connect(&port_, &QSerialPort::readyRead, this, [this] { Read(); });
  }

  // False, with a message, when the port, the CSV file or the pictures cannot be had.
  bool Start(int seconds) {
    if (!needle_->Loaded()) return Fail("cannot load img/Mode0.png and img/arrow2.PNG");
    if (!csv_.open(QIODevice::WriteOnly | QIODevice::Truncate)) return Fail("cannot create CSV");
    out_.setDevice(&csv_);
    if (!port_.open(QIODevice::ReadWrite)) return Fail("cannot open the port");
    port_.setBaudRate(9600);
    show();
    port_.write("#READ\r\n");
    QTimer::singleShot(seconds * 1000, this, [this] {
      port_.write("#STOP\r\n");
      quiet_.setSingleShot(true);
      QObject::connect(&quiet_, &QTimer::timeout, qApp, &QApplication::quit);
      quiet_.start(kQuietMs);
      QTimer::singleShot(kLongestDrainMs, qApp, &QApplication::quit);
    });
    return true;
  }
  bool Finish() {
    out_.flush();
    csv_.close();
    return out_.status() == QTextStream::Ok && csv_.error() == QFileDevice::NoError;
  }

 private:
  bool Fail(const char* what) {
    std::fprintf(stderr, "qt_peer_console: %s\n", what);
    return false;
  }
  void Read() {
    pending_ += port_.readAll();
    if (quiet_.isActive()) quiet_.start(kQuietMs);
    for (qsizetype end; (end = pending_.indexOf('$')) >= 0;) {
      const QByteArray frame = pending_.left(end + 1);
      pending_.remove(0, end + 1);
      const qsizetype stx = frame.indexOf('\x02'), etb = frame.indexOf('\x17');
      if (stx < 0 || etb < stx) continue;
      const QString text = QString::fromLatin1(frame.mid(stx + 1, etb - stx - 1));
      out_ << QDateTime::currentMSecsSinceEpoch() << ',' << text << '\n';
      memo_->appendPlainText(text);
      lcd_->display(text);
      needle_->SetAngle(text.toDouble());
    }
  }

  QPlainTextEdit* memo_;
  QLCDNumber* lcd_;
  NeedleView* needle_;
  QSerialPort port_;
  QByteArray pending_;
  QFile csv_;
  QTextStream out_;
  QTimer quiet_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: qt_peer_console PORT CSV SECONDS\n");
    return 2;
  }
  const int seconds = std::atoi(argv[3]);
  if (seconds < 1) {
    std::fprintf(stderr, "qt_peer_console: SECONDS must be 1 or more\n");
    return 2;
  }
  // The dial pictures are named from the source tree's root, as the console finds them.
  if (!std::filesystem::exists("img/Mode0.png")) std::filesystem::current_path(KELTA_SOURCE_DIR);
  PeerWindow window(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
  if (!window.Start(seconds)) return 1;
  app.exec();
  return window.Finish() ? 0 : 1;
}
