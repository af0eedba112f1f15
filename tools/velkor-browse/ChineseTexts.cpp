#include "ChineseTexts.h"

#include "widgets/Language.h"

namespace velkor::browse {

void AddChineseTexts() {
    velkor::AddChineseTexts({
        // menus, tool bar, keys
        {"&Site", "站点(&S)"},
        {"&Browse folder...", "浏览目录(&B)..."},
        {"&Proxy settings...", "代理服务器设置(&P)..."},
        {"Re&fresh", "刷新(&F)"},
        {"&Rename", "重命名(&R)"},
        {"&Delete", "删除(&D)"},
        {"Do&wnload...", "下载(&W)..."},
        {"&Upload...", "上传(&U)..."},
        {"Upload &folder...", "上传文件夹(&F)..."},
        {"&Quit", "退出(&Q)"},
        {"Path", "路径"},
        {"Up", "上一级"},
        {"The folder above (Backspace, Alt+Up)", "上一级目录 (Backspace, Alt+Up)"},
        {"Server path, e.g. /pub", "服务器路径，例如 /pub"},
        // questions and file dialogs
        {"New name:", "新名称:"},
        {"Download into", "下载到"},
        {"Upload", "上传"},
        {"Upload folder", "上传文件夹"},
        {"Delete %1?", "删除 %1?"},
        {"Delete %1 entries?", "删除这 %1 项?"},
        {"%1 is there already (%2 of %3 bytes).", "%1 已经存在 (%2/%3 字节)。"},
        {"&Replace", "替换(&R)"},
        {"Re&sume", "续传(&S)"},
        {"S&kip", "跳过(&K)"},
        {"Replace %1 on the server?", "替换服务器上的 %1?"},
        {"Merge %1 into the folder of that name in %2? Unchanged files are skipped.",
         "把 %1 合并到 %2 中的同名文件夹? 没有改变的文件将被跳过。"},
        {"Merge %1 into the folder of that name on the server? Unchanged files are skipped.",
         "把 %1 合并到服务器上的同名文件夹? 没有改变的文件将被跳过。"},
        {"Stop", "停止"},
        // status line and results
        {"%1 is no folder on the server: %2", "服务器上没有文件夹 %1: %2"},
        {"%1: %2 of %3 bytes (Esc stops)", "%1: %2/%3 字节 (Esc 停止)"},
        {"%1 (complete already)", "%1 (已经完整)"},
        {"%1 (resumed at %2)", "%1 (从 %2 续传)"},
        {"Downloaded %1 into %2", "已下载 %1 到 %2"},
        {"Not deleted:\n%1", "没有删除:\n%1"},
        {"Not downloaded:\n%1", "没有下载:\n%1"},
        {"Not renamed: %1", "没有重命名: %1"},
        {"Not uploaded:\n%1", "没有上传:\n%1"},
        {"; the local file is as it was", "; 本地文件保持原样"},
        {"; what came is kept for the next resume", "; 已收到的部分保留，下次续传"},
        {"stopped (Esc) after %1 of %2 bytes", "在 %1/%2 字节时停止 (Esc)"},
        {"the connection ended after %1 of %2 bytes", "连接在 %1/%2 字节时断开"},
        {"cannot write into %1", "无法写入 %1"},
        {"cannot be named on the server in this code page", "在此代码页中无法在服务器上命名"},
        {"not taken (the name is not one safe path element)", "未处理 (名称不是安全的路径)"},
        {"the folder cannot be made", "无法创建文件夹"},
        {"the login folder", "登录目录"},
        {"Chosen folder: %1", "选择的目录: %1"},
        // folder transfers
        {"Listing %1...", "正在列出 %1..."},
        {"Downloading %1", "正在下载 %1"},
        {"Uploading %1", "正在上传 %1"},
        {"%1 of %2 files: %3\n%4 of %5", "第 %1/%2 个文件: %3\n%4/%5"},
        {"%1: %2 files moved (%3), %4 unchanged", "%1: 已传送 %2 个文件 (%3)，%4 个没有改变"},
        {"%1: stopped after %2 of %3 files (%4); the same transfer again goes on from there",
         "%1: 在 %2/%3 个文件时停止 (%4); 再次传送将从那里继续"},
        // the connect dialog
        {"Connect to an FTP server", "连接到FTP服务器"},
        {"&Host:", "主机(&H):"},
        {"P&ort:", "端口(&O):"},
        {"&User:", "用户(&U):"},
        {"&Password:", "密码(&P):"},
        {"&Folder:", "目录(&F):"},
        {"&Connect", "连接(&C)"},
        // Qt's own buttons (asked in Qt's contexts; any context is answered)
        {"OK", "确定"},
        {"&OK", "确定(&O)"},
        {"Cancel", "取消"},
        {"&Cancel", "取消(&C)"},
        {"&Yes", "是(&Y)"},
        {"&No", "否(&N)"},
        {"Close", "关闭"},
    });
}

}  // namespace velkor::browse
