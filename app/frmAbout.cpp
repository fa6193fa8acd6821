#include "app/frmAbout.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

namespace {
QPointer<frmAbout> g_about;

QFrame* line(QWidget* parent, const char* name, const QColor& colour) {
    auto* f = new QFrame(parent);
    f->setObjectName(name);
    f->setFrameShape(QFrame::HLine);
    f->setFixedHeight(1);
    f->setStyleSheet(QString("background-color: %1; border: none;").arg(colour.name()));
    return f;
}
}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    setWindowTitle(tr("About Quorvin Audio Tools"));
    setAttribute(Qt::WA_DeleteOnClose);

    QFont comic("Comic Sans MS");
    comic.setPointSize(12);
    lblVersion = new QLabel("      Quorvin Audio Tools 1.0", this);
    lblVersion->setObjectName("lblVersion");
    lblVersion->setFont(comic);
    lblDescription = new QLabel(" Audio Tools Vocal Remove      Pitch Key Changer", this);
    lblDescription->setObjectName("lblDescription");
    lblDescription->setFont(comic);
    Line1_0 = line(this, "Line1_0", QColor(128, 128, 128));
    Line1_1 = line(this, "Line1_1", QColor(255, 255, 255));
    cmdOK = new QPushButton("OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);

    auto* v = new QVBoxLayout(this);
    v->addWidget(lblVersion);
    v->addWidget(lblDescription);
    v->addSpacing(8);
    v->setSpacing(6);
    auto* etched = new QVBoxLayout;
    etched->setSpacing(0);
    etched->addWidget(Line1_0);
    etched->addWidget(Line1_1);
    v->addLayout(etched);
    v->addWidget(cmdOK, 0, Qt::AlignRight);
}

frmAbout* frmAbout::showSingle() {
    if (!g_about) g_about = new frmAbout(nullptr);
    g_about->setModal(false);
    g_about->show();
    g_about->raise();
    g_about->activateWindow();
    return g_about;
}

frmAbout* frmAbout::current() {
    return g_about;
}

}  // namespace app
