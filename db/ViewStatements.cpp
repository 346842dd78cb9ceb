#include "ViewStatements.h"

QString customerViewStatement()
{
    return QStringLiteral("select 客户ID, 客户名称, 电子邮件地址,录入日期 from 客户表");
}

QString mailViewStatement()
{
    return QStringLiteral("select 邮件ID, 邮件主题, 邮件内容, 建立日期, 广告 from 邮件表");
}

QString allSendRecordsStatement()
{
    return QStringLiteral("select * from 发送情况");
}

QString sendRecordsOfCustomerStatement(const QString &customer)
{
    return QStringLiteral("select * from 发送情况 where 客户ID = ") + customer;
}

QString sendRecordsOfMailStatement(const QString &mail)
{
    return QStringLiteral("select * from 发送情况 where 邮件ID = ") + mail;
}

QString sendRecordsOfBothStatement(const QString &customer, const QString &mail)
{
    return QStringLiteral("select * from 发送情况  where 客户ID=") + customer + QStringLiteral(" and 邮件ID=") + mail;
}
