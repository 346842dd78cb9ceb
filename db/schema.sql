-- The database behind db.mdb. Texts are checked against their widths here, so a longer text is
-- refused with an error instead of being cut. Date-and-time values are local time as ISO text with
-- milliseconds ("2026-12-10 14:05:09.123").

CREATE TABLE 客户表 (
    客户ID       INTEGER PRIMARY KEY AUTOINCREMENT,
    客户名称     NVARCHAR(100) CONSTRAINT 客户名称超过100个字符 CHECK (length(客户名称) <= 100),
    -- an address takes at most 254 characters (RFC 5321's path less its angle brackets)
    电子邮件地址 NVARCHAR(254) CONSTRAINT 电子邮件地址超过254个字符 CHECK (length(电子邮件地址) <= 254),
    录入日期     DATETIME
);
-- the customer picker finds names and addresses by their beginning
CREATE INDEX 客户表_客户名称 ON 客户表 (客户名称);
CREATE INDEX 客户表_电子邮件地址 ON 客户表 (电子邮件地址);

CREATE TABLE 邮件表 (
    邮件ID   INTEGER PRIMARY KEY AUTOINCREMENT,
    邮件主题 NVARCHAR(255) CONSTRAINT 邮件主题超过255个字符 CHECK (length(邮件主题) <= 255),
    邮件内容 NTEXT,
    建立日期 DATETIME,
    -- 1: advertising mail, its subject sent with "广告：" in front
    广告     INTEGER NOT NULL DEFAULT 0 CHECK (广告 IN (0, 1)),
    -- The one file the mail carries: the name readers show (no folders) and its bytes; both null
    -- when it carries none. The mail page's views never read the bytes.
    附件名称 NVARCHAR(255) CONSTRAINT 附件名称超过255个字符 CHECK (length(附件名称) <= 255),
    附件内容 BLOB
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
    发信人电子邮件 NVARCHAR(254) CONSTRAINT 发信人电子邮件超过254个字符 CHECK (length(发信人电子邮件) <= 254),
    SMTP服务器     NVARCHAR(50) CONSTRAINT SMTP服务器超过50个字符 CHECK (length(SMTP服务器) <= 50),
    用户名         NVARCHAR(50) CONSTRAINT 用户名超过50个字符 CHECK (length(用户名) <= 50),
    密码           NVARCHAR(50) CONSTRAINT 密码超过50个字符 CHECK (length(密码) <= 50),
    -- 1: every message names a way to refuse further mail (List-Unsubscribe and 退订说明 as its last line)
    附带退订方式   INTEGER NOT NULL DEFAULT 0 CHECK (附带退订方式 IN (0, 1)),
    退订说明       NVARCHAR(255) DEFAULT '如不希望再收到我们的邮件，请回复“退订”。'
                   CONSTRAINT 退订说明超过255个字符 CHECK (length(退订说明) <= 255),
    -- messages the account may send in any 24 hours; 0: no cap
    每日上限       INTEGER DEFAULT 0 CONSTRAINT 每日上限超出范围 CHECK (每日上限 BETWEEN 0 AND 100000)
);

-- The send panel's remembered choices: one row, numbered 1.
CREATE TABLE 发送选项 (
    编号       INTEGER PRIMARY KEY CHECK (编号 = 1),
    跳过已发送 INTEGER NOT NULL DEFAULT 0 CHECK (跳过已发送 IN (0, 1)),
    -- where the last test mail went
    测试地址   NVARCHAR(254) CONSTRAINT 测试地址超过254个字符 CHECK (length(测试地址) <= 254)
);

-- The addresses never to be mailed again. An address is the same one whatever its blanks around it
-- and its letter case (SQLite's lower() folds ASCII letters only; the run compares the same way).
CREATE TABLE 退订名单 (
    电子邮件地址 NVARCHAR(254) NOT NULL CONSTRAINT 电子邮件地址超过254个字符 CHECK (length(电子邮件地址) <= 254),
    退订日期     DATETIME,
    原因         NVARCHAR(255) CONSTRAINT 原因超过255个字符 CHECK (length(原因) <= 255)
);
CREATE UNIQUE INDEX 退订名单_地址 ON 退订名单 (lower(trim(电子邮件地址)));

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
