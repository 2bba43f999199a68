#include "upload/upload_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include <QCoreApplication>
#include <QEvent>

#include "analysis/pile_analysis.h"
#include "ui/message_sink.h"
#include "upload/section_image.h"
#include "upload/upload_form.h"
#include "upload/upload_job.h"

namespace lx9 {
namespace {

using touch_ui::dialogFont;
using touch_ui::kTouchHeight;
using touch_ui::qs;
using touch_ui::touchButton;

QLineEdit* field(QWidget* parent, bool readOnly) {
    auto* f = new QLineEdit(parent);
    f->setFont(dialogFont(18));
    f->setMinimumHeight(kTouchHeight);
    f->setReadOnly(readOnly);
    return f;
}

QLabel* label(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(dialogFont(16));
    l->setMinimumHeight(kTouchHeight);
    return l;
}

// A read-only field that opens a pad when tapped.
class TapFilter : public QObject {
  public:
    TapFilter(QObject* parent, std::function<void()> tapped) : QObject(parent), tapped_(std::move(tapped)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            tapped_();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> tapped_;
};

}  // namespace

CDlgUpdataSet::CDlgUpdataSet(UploadDialogContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    if (!context_.job) ownJob_ = std::make_unique<UploadJob>();
    job_ = context_.job ? context_.job : ownJob_.get();
    setWindowTitle(QStringLiteral("上传"));
    setFont(dialogFont(16));
    if (!context_.renderImage) context_.renderImage = renderSectionImage;

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    int row = 0;
    grid->addWidget(label(QStringLiteral("数据文件："), this), row, 0);
    file_ = label(QString(), this);
    file_->setFrameShape(QFrame::StyledPanel);
    file_->setTextInteractionFlags(Qt::NoTextInteraction);
    grid->addWidget(file_, row, 1, 1, 7);
    browse_ = touchButton(QStringLiteral("浏览"), this);
    grid->addWidget(browse_, row++, 8);
    grid->addWidget(label(QStringLiteral("桩号："), this), row, 0);
    pile_ = label(QString(), this);
    pile_->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(pile_, row++, 1, 1, 8);

    grid->addWidget(label(QStringLiteral("服务器地址："), this), row, 0);
    for (int i = 0; i < 4; ++i) {
        octets_[i] = field(this, true);
        octets_[i]->setAlignment(Qt::AlignCenter);
        octets_[i]->setFocusPolicy(Qt::NoFocus);  // set by the keypad only
        octets_[i]->installEventFilter(new TapFilter(octets_[i], [this, i] { askOctet(i); }));
        grid->addWidget(octets_[i], row, 1 + 2 * i);
        if (i < 3) grid->addWidget(label(QStringLiteral("."), this), row, 2 + 2 * i);
    }
    ++row;
    grid->addWidget(label(QStringLiteral("端口："), this), row, 0);
    port_ = field(this, true);
    port_->setFocusPolicy(Qt::NoFocus);
    port_->installEventFilter(new TapFilter(port_, [this] { askPort(); }));
    grid->addWidget(port_, row++, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("仪器编号："), this), row, 0);
    instrument_ = field(this, false);
    grid->addWidget(instrument_, row++, 1, 1, 8);
    grid->addWidget(label(QStringLiteral("流水号："), this), row, 0);
    serial_ = field(this, false);
    grid->addWidget(serial_, row++, 1, 1, 8);

    status_ = label(QString(), this);
    status_->setWordWrap(true);
    status_->setMinimumHeight(2 * kTouchHeight);
    status_->setFrameShape(QFrame::StyledPanel);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setMinimumHeight(24);

    auto* buttons = new QHBoxLayout;
    start_ = touchButton(QStringLiteral("开始上传"), this);
    keyboard_ = touchButton(QStringLiteral("系统键盘"), this);
    exit_ = touchButton(QStringLiteral("退出"), this);
    for (QPushButton* b : {start_, keyboard_, exit_}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(140);
        buttons->addWidget(b);
    }
    browse_->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(status_);
    layout->addWidget(progress_);
    layout->addLayout(buttons);

    connect(browse_, &QPushButton::clicked, this, [this] { browse(); });
    connect(start_, &QPushButton::clicked, this, [this] { startUpload(); });
    connect(exit_, &QPushButton::clicked, this, [this] { reject(); });
    // Without an on-screen keyboard to open the button has nothing to do.
    keyboard_->setEnabled(static_cast<bool>(context_.systemKeyboard));
    connect(keyboard_, &QPushButton::clicked, this, [this] {
        if (context_.systemKeyboard) context_.systemKeyboard();
    });
    watch_.setInterval(50);
    connect(&watch_, &QTimer::timeout, this, [this] {
        if (waitingUpload_) {
            if (!job_->running()) uploadEnded();
            return;
        }
        if (waitingOpen_) {
            if (context_.opening && context_.opening()) return;
            afterBrowse();
        }
        if (!waitingUpload_ && !waitingOpen_) watch_.stop();
    });

    // The port shows 5005 until the settings fill it.
    port_->setText(QStringLiteral("5005"));
    if (context_.settings) {
        const UploadSettings& s = *context_.settings;
        for (int i = 0; i < 4; ++i)
            octets_[i]->setText(QString::number((s.serverAddress >> (24 - 8 * i)) & 0xFF));
        port_->setText(QString::number(s.serverPort));
        instrument_->setText(qs(s.instrumentNumber));
        serial_->setText(qs(s.serialNumber));
    }
    showFile();
    resize(720, 520);
}

bool CDlgUpdataSet::uploading() const {
    return job_->running();
}

CDlgUpdataSet::~CDlgUpdataSet() {
    job_->cancel();
    job_->wait();
}

void CDlgUpdataSet::showFile() {
    if (!context_.info) return;
    std::string file, pile;
    {
        std::lock_guard<std::mutex> guard(context_.info->lock());
        file = context_.info->record().uploadFile;
        pile = context_.info->record().pileId;
    }
    file_->setText(qs(file));
    pile_->setText(file.empty() ? QString() : qs(pile));
}

void CDlgUpdataSet::browse() {
    if (job_->running() || !context_.browse || !context_.info) return;
    std::string before;
    {
        std::lock_guard<std::mutex> guard(context_.info->lock());
        before = context_.info->record().chtPath;
        // An open that fails leaves the old path; a stale one must not pass for the new file.
        context_.info->record().chtPath.clear();
    }
    browsedFrom_ = before;
    waitingOpen_ = true;
    openGrace_ = 20;
    context_.browse();
    watch_.start();
}

void CDlgUpdataSet::afterBrowse() {
    std::unique_lock<std::mutex> guard(context_.info->lock());
    CInfo& info = context_.info->record();
    if (info.chtPath.empty()) {
        // The console names the opened pair once its reader is done; until then, or when
        // nothing was opened, the old name stays.
        if (--openGrace_ > 0) return;
        info.chtPath = browsedFrom_;
    } else {
        info.uploadFile = info.chtPath;
    }
    waitingOpen_ = false;
    guard = {};
    showFile();
}

void CDlgUpdataSet::askOctet(int i) {
    if (!context_.numberPad || job_->running()) return;
    const auto v = context_.numberPad(octets_[i], "服务器地址", octets_[i]->text().toDouble());
    if (!v) return;
    if (*v < 0 || *v > 255 || *v != static_cast<int>(*v)) {
        if (context_.sink) context_.sink->showMessage("请输入0到255之间的整数！");
        return;
    }
    octets_[i]->setText(QString::number(static_cast<int>(*v)));
}

void CDlgUpdataSet::askPort() {
    if (!context_.numberPad || job_->running()) return;
    const auto v = context_.numberPad(port_, "端口", port_->text().toDouble());
    if (!v) return;
    if (*v < 0 || *v > 65535 || *v != static_cast<long long>(*v)) {
        if (context_.sink) context_.sink->showMessage("请输入0到65535之间的整数！");
        return;
    }
    port_->setText(QString::number(static_cast<long long>(*v)));
}

bool CDlgUpdataSet::startUpload() {
    if (job_->running() || !context_.info) return false;
    UploadFormInput input;
    {
        std::lock_guard<std::mutex> guard(context_.info->lock());
        input.file = context_.info->record().uploadFile;
    }
    input.serialNumber = serial_->text().toStdString();
    input.instrumentNumber = instrument_->text().toStdString();
    bool portOk = false;
    input.port = port_->text().toLongLong(&portOk);
    if (auto message = validateUploadStart(input)) {
        if (context_.sink) context_.sink->showMessage(*message);
        return false;
    }
    const std::string address =
        (octets_[0]->text() + "." + octets_[1]->text() + "." + octets_[2]->text() + "." + octets_[3]->text())
            .toStdString();
    const std::optional<uint32_t> ip = parseIpv4(address);
    if (!ip || input.port > 65535) {
        if (context_.sink) context_.sink->showMessage(!ip ? "请输入有效的服务器地址!" : "请输入端口号!");
        return false;
    }

    UploadSettings settings{input.instrumentNumber, input.serialNumber, *ip,
                            static_cast<uint16_t>(input.port)};
    if (context_.settings) *context_.settings = settings;

    UploadRequest request;
    request.info = context_.info->copy();
    request.settings = settings;
    request.lists = context_.lists ? context_.lists() : SectionLists{};
    if (context_.tuneTransport) context_.tuneTransport(request.transport);

    UploadHooks hooks;
    hooks.progress = [this](const UploadProgress& p) {
        // The upload thread: the text crosses to the dialog's thread by value.
        QMetaObject::invokeMethod(
            this, [this, p] { showProgress(p); }, Qt::QueuedConnection);
    };
    hooks.computeCriticals = [](const CInfo& info, const SectionLists& lists) {
        storeUploadCriticals(info, lists);
    };
    hooks.renderImage = context_.renderImage;
    hooks.console = [](std::string_view text) {
        std::fprintf(stderr, "%.*s%s", static_cast<int>(text.size()), text.data(),
                     text.ends_with('\n') ? "" : "\n");
    };
    lastOk_ = false;
    lastMessage_.clear();
    progress_->setValue(0);
    if (!job_->start(std::move(request), std::move(hooks))) {
        if (context_.sink) context_.sink->showMessage("创建GPRS线程失败");
        return false;
    }
    for (QWidget* w : {static_cast<QWidget*>(start_), static_cast<QWidget*>(browse_)})
        w->setEnabled(false);
    waitingUpload_ = true;
    watch_.start();
    return true;
}

void CDlgUpdataSet::showProgress(const UploadProgress& p) {
    status_->setText(qs(p.text));
    progress_->setValue(static_cast<int>(p.fraction * 1000 + 0.5));
}

void CDlgUpdataSet::uploadEnded() {
    waitingUpload_ = false;
    watch_.stop();
    const UploadResult result = job_->wait();
    // Progress posted just before the end is shown before the verdict.
    QCoreApplication::sendPostedEvents(this);
    lastOk_ = result.ok;
    lastMessage_ = result.message;
    status_->setText(qs(result.message));
    if (result.ok) progress_->setValue(1000);
    start_->setEnabled(true);
    browse_->setEnabled(true);
    if (!result.ok && !result.cancelled && context_.sink) context_.sink->showMessage(result.message);
}

void CDlgUpdataSet::reject() {
    if (job_->running()) {
        job_->cancel();
        job_->wait();
    }
    watch_.stop();
    QDialog::reject();
}

}  // namespace lx9
