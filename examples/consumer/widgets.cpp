// Uses the installed widgets library: the proxy setup dialog, built from its
// template, with its controls found by id.
#include <velkor/widgets.h>

#include <QApplication>
#include <QLineEdit>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velkor::InstallLanguage(app, QStringLiteral("zh_CN"));  // the template's own texts
    velkor::CProxySetupDlg dialog;
    dialog.m_strHttpHost = "proxy.example.org";
    dialog.show();
    auto* host = dialog.findChild<QLineEdit*>(QString::number(velkor::IDC_PROXY_HTTP_HOST));
    const bool ok = host && host->text() == QStringLiteral("proxy.example.org") &&
                    dialog.windowTitle() == velkor::ResourceQString("代理服务器设置");
    std::printf("widgets consumer: %s\n", ok ? "dialog built" : "dialog wrong");
    return ok ? 0 : 1;
}
