#include "qks/studio/ui/hostsettingspage.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "qks/studio/hostkeeper.h"
#include "qks/studio/ui/dialogs.h"
#include "widgets.h"

namespace qks::studio {

HostSettingsPage::HostSettingsPage(QString iniPath, QWidget* parent)
    : QWidget(parent), iniPath_(std::move(iniPath)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(12);
    backButton = addBackHeader(page, QStringLiteral("连接测试"),
                               QStringLiteral("Studio 未连上主机时自动启动 qkshost"), this);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setColumnStretch(1, 1);
    programEdit = makeInput(loadHostProgramSetting(iniPath_),
                            QStringLiteral("留空：使用随 Studio 安装的 qkshost"), this);
    chooseButton = makeButton(QStringLiteral("选择"), "ghostButton", this);
    grid->addWidget(makeLabel(QStringLiteral("qkshost 路径"), "formLabel", this), 0, 0);
    grid->addWidget(programEdit, 0, 1);
    grid->addWidget(chooseButton, 0, 2);
    page->addLayout(grid);
    page->addWidget(makeHint(QStringLiteral("查找顺序：环境变量 QKS_HOST、此处的路径、Studio 旁的 "
                                            "../bin/qkshost。Studio 启动的主机随 Studio 关闭；"
                                            "已在运行的主机不受影响"),
                             this));
    hostInfoLabel = makeHint(QString(), this);
    page->addWidget(hostInfoLabel);

    saveButton = makeButton(QStringLiteral("保存"), "primaryButton", this);
    testButton = makeButton(QStringLiteral("连接测试"), "ghostButton", this);
    messageLabel = addButtonRow(page, {saveButton, testButton}, QString(), this);
    page->addStretch(1);

    connect(backButton, &QPushButton::clicked, this, &HostSettingsPage::backRequested);
    connect(saveButton, &QPushButton::clicked, this, &HostSettingsPage::save);
    connect(testButton, &QPushButton::clicked, this, &HostSettingsPage::connectRequested);
    connect(chooseButton, &QPushButton::clicked, this, [this] {
        const QStringList chosen = studioDialogs().openFiles(this, QStringLiteral("选择 qkshost"),
                                                             QStringLiteral("所有文件 (*)"));
        if (!chosen.isEmpty()) programEdit->setText(chosen.first());
    });
}

void HostSettingsPage::setHostInfo(const QString& text) {
    hostInfoLabel->setText(text);
}

void HostSettingsPage::save() {
    const QString program = programEdit->text().trimmed();
    const QFileInfo file(program);
    if (!program.isEmpty() && !(file.isFile() && file.isExecutable())) {
        messageLabel->setText(QStringLiteral("[错误] 不是可执行文件：%1").arg(program));
        return;
    }
    if (!saveHostProgramSetting(iniPath_, program)) {
        messageLabel->setText(QStringLiteral("[错误] 无法写入设置：%1").arg(iniPath_));
        return;
    }
    messageLabel->setText(QStringLiteral("[提示] 已保存，下次启动 qkshost 时使用"));
    emit saved(program);
}

}  // namespace qks::studio
