-- The database behind db.mdb. Texts are checked against their widths here, so a longer text is
-- refused with an error instead of being cut. Date-and-time values are local time as ISO text with
-- milliseconds ("2026-12-10 14:05:09.123").

CREATE TABLE 客户表 (
    客户ID       INTEGER PRIMARY KEY AUTOINCREMENT,
    客户名称     NVARCHAR(40) CONSTRAINT 客户名称超过40个字符 CHECK (length(客户名称) <= 40),
    电子邮件地址 NVARCHAR(30) CONSTRAINT 电子邮件地址超过30个字符 CHECK (length(电子邮件地址) <= 30),
    录入日期     DATETIME
);

CREATE TABLE 邮件表 (
    邮件ID   INTEGER PRIMARY KEY AUTOINCREMENT,
    邮件主题 NVARCHAR(255) CONSTRAINT 邮件主题超过255个字符 CHECK (length(邮件主题) <= 255),
    邮件内容 NTEXT,
    建立日期 DATETIME
);

CREATE TABLE 发送情况 (
    客户ID   INTEGER,
    邮件ID   INTEGER,
    发送日期 NVARCHAR(50) CONSTRAINT 发送日期超过50个字符 CHECK (length(发送日期) <= 50),
    -- "成功", or "失败：" and the server's reply or the error
    发送结果 NVARCHAR(255) CONSTRAINT 发送结果超过255个字符 CHECK (length(发送结果) <= 255)
);
CREATE INDEX 发送情况_客户ID ON 发送情况 (客户ID);
CREATE INDEX 发送情况_邮件ID ON 发送情况 (邮件ID);

CREATE TABLE 设置 (
    发信人名称     NVARCHAR(50) CONSTRAINT 发信人名称超过50个字符 CHECK (length(发信人名称) <= 50),
    发信人电子邮件 NVARCHAR(50) CONSTRAINT 发信人电子邮件超过50个字符 CHECK (length(发信人电子邮件) <= 50),
    SMTP服务器     NVARCHAR(50) CONSTRAINT SMTP服务器超过50个字符 CHECK (length(SMTP服务器) <= 50),
    用户名         NVARCHAR(50) CONSTRAINT 用户名超过50个字符 CHECK (length(用户名) <= 50),
    密码           NVARCHAR(50) CONSTRAINT 密码超过50个字符 CHECK (length(密码) <= 50)
);

-- The send panel's remembered choices: one row, numbered 1.
CREATE TABLE 发送选项 (
    编号       INTEGER PRIMARY KEY CHECK (编号 = 1),
    跳过已发送 INTEGER NOT NULL DEFAULT 0 CHECK (跳过已发送 IN (0, 1))
);

-- The server certificates the user trusted although no authority the system knows vouches for
-- them (a company's own): one per host and port, by the SHA-256 fingerprint ("AB:CD:...").
CREATE TABLE 信任证书 (
    主机 TEXT NOT NULL COLLATE NOCASE,
    端口 INTEGER NOT NULL,
    指纹 TEXT NOT NULL,
    PRIMARY KEY (主机, 端口)
);

-- The accounts whose password the user agreed to send unencrypted to a server offering no
-- encryption; a changed server or user name asks again.
CREATE TABLE 明文登录许可 (
    主机   TEXT NOT NULL COLLATE NOCASE,
    端口   INTEGER NOT NULL,
    用户名 TEXT NOT NULL,
    PRIMARY KEY (主机, 端口, 用户名)
);
