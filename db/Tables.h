#pragma once

#include <QString>

// The names of the tables and columns that code outside db/ uses (record views' tables, fields
// looked up or stamped by name), spelled once, as the file spells them. Statements themselves stay
// in db/. The bound boxes name their fields in MainWindow.ui.
namespace table {
inline const QString Customers = QStringLiteral("客户表");
inline const QString Mails = QStringLiteral("邮件表");
inline const QString SendRecords = QStringLiteral("发送情况");
inline const QString Settings = QStringLiteral("设置");
inline const QString RefusalList = QStringLiteral("退订名单");
} // namespace table

namespace column {
// 客户表, and 发送情况 for the customer a record belongs to.
inline const QString CustomerId = QStringLiteral("客户ID");
inline const QString CustomerName = QStringLiteral("客户名称");
inline const QString EntryDate = QStringLiteral("录入日期");
// 邮件表, and 发送情况 for the mail a record belongs to.
inline const QString MailId = QStringLiteral("邮件ID");
inline const QString Subject = QStringLiteral("邮件主题");
inline const QString CreationDate = QStringLiteral("建立日期");
// 邮件表's file, which the mail view does not read: the page writes them with the record.
inline const QString AttachmentName = QStringLiteral("附件名称");
inline const QString AttachmentContent = QStringLiteral("附件内容");
// 发送情况.
inline const QString SendDate = QStringLiteral("发送日期");
inline const QString SendResult = QStringLiteral("发送结果");
// 客户表 and 退订名单.
inline const QString Address = QStringLiteral("电子邮件地址");
// 退订名单.
inline const QString RefusalDate = QStringLiteral("退订日期");
} // namespace column
