#include "qt/guard.h"

#include <exception>

#include "platform/platform_error.h"

namespace corvane::qt {

void runGuarded(const FailureReporter& report, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const PlatformError& error) {
        report(QString::fromStdString(error.operation()), QString::fromStdString(error.reason()));
    } catch (const std::bad_alloc&) {
        report(QStringLiteral("执行命令"), QStringLiteral("内存不足"));
    } catch (const std::exception& error) {
        report(QStringLiteral("执行命令"), QString::fromLocal8Bit(error.what()));
    } catch (...) {
        report(QStringLiteral("执行命令"), QStringLiteral("未知错误"));
    }
}

}  // namespace corvane::qt
