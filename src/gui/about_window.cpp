#include "gui/about_window.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/app_icon.h"
#include "gui/skin.h"
#include "platform/program_version.h"

namespace quillet {

AboutWindow::AboutWindow(const std::filesystem::path& dataFolder, QWidget* parent)
    : QDialog(parent) {
    setObjectName("AboutWindow");
    setWindowTitle("About Quillet");
    setModal(true);

    auto* logo = new QLabel(this);
    logo->setObjectName("logo");
    logo->setPixmap(AppIcon().pixmap(64, 64));
    auto* product = new QLabel(QString("Quillet v") + kProgramVersion, this);
    product->setObjectName("lblProduct");
    QFont big = product->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    product->setFont(big);
    auto* thanks = new QLabel("Thank you for using our product.", this);
    thanks->setObjectName("lblThanks");

    auto* webCaption = new QLabel("Visit Our Website", this);
    webCaption->setObjectName("lblWebCaption");
    auto* web = new QLabel(kWebAddress, this);
    web->setObjectName("lblWeb");
    auto* mailCaption = new QLabel("Our E-mail", this);
    mailCaption->setObjectName("lblMailCaption");
    auto* mail = new QLabel(kSupportAddress, this);
    mail->setObjectName("lblMail");
    for (QLabel* caption : {webCaption, mailCaption}) {
        QFont bold = caption->font();
        bold.setBold(true);
        caption->setFont(bold);
    }

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* exit = new QPushButton("Exit", this);
    exit->setObjectName("Command3");
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);

    auto* header = new QHBoxLayout;
    header->addWidget(logo);
    auto* titles = new QVBoxLayout;
    titles->addWidget(product);
    titles->addWidget(thanks);
    header->addLayout(titles);
    header->addStretch();
    auto* footer = new QHBoxLayout;
    footer->addStretch();
    footer->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addSpacing(8);
    layout->addWidget(webCaption);
    layout->addWidget(web);
    layout->addWidget(mailCaption);
    layout->addWidget(mail);
    layout->addWidget(line);
    layout->addLayout(footer);
    setMinimumWidth(360);
    ApplySkin(*this, dataFolder);
}

}  // namespace quillet
