#pragma once

#include <QString>

// The statements the window's record views run, where a view reads a statement rather than a whole
// table (Tables.h names those).

// The customer grid's: every customer with the date of entry, in the engine's order.
QString customerViewStatement();

// The mail page's: every mail without its file, whose bytes no grid shows and no row should hold;
// the page reads the file's name and size for the current mail alone (StoredAttachment.h).
QString mailViewStatement();

// The send-record browser's, spacing exactly as given (the combined one has two blanks before
// "where" and none around "="). The numbers are put in as the lists show them.
QString allSendRecordsStatement();
QString sendRecordsOfCustomerStatement(const QString &customer);
QString sendRecordsOfMailStatement(const QString &mail);
QString sendRecordsOfBothStatement(const QString &customer, const QString &mail);
