#pragma once

// Makes every Qt warning, critical or fatal message a failure of the test that caused it, so a
// model that breaks its contract or a connection that cannot be made does not pass unnoticed.
namespace testsupport {

void failOnQtWarnings();

} // namespace testsupport
