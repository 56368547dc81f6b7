// orvyclass-check: reads the course catalogue as the program does and reports what a
// learner would meet. Exit status 0: nothing; 1: findings; 2: the check could not run.
#include "check/check.h"
#include "check/report.h"
#include "core/error.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <iostream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// The password from the terminal, not echoed; nullopt when there is no terminal.
std::optional<QString> askPassword()
{
    if (!isatty(fileno(stdin)) || !isatty(fileno(stderr)))
        return std::nullopt;
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
#ifdef _WIN32
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(input, &mode);
    SetConsoleMode(input, mode & ~DWORD(ENABLE_ECHO_INPUT));
#else
    termios saved {};
    tcgetattr(fileno(stdin), &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(fileno(stdin), TCSAFLUSH, &quiet);
#endif
    std::string line;
    std::getline(std::cin, line);
#ifdef _WIN32
    SetConsoleMode(input, mode);
#else
    tcsetattr(fileno(stdin), TCSAFLUSH, &saved);
#endif
    std::fputs("\n", stderr);
    return QString::fromStdString(line);
}

// A one-line bar on the terminal, redrawn in place.
void drawProgress(int done, int total)
{
    constexpr int width = 30;
    const int filled = total > 0 ? done * width / total : width;
    std::fprintf(stderr, "\r[%s%s] %d/%d links", std::string(size_t(filled), '#').c_str(),
        std::string(size_t(width - filled), ' ').c_str(), done, total);
    if (done == total)
        std::fputs("\n", stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    orvy::check::CheckOptions options;
    try {
        const QByteArray environment = qgetenv("ORVY_CHECK_PASSWORD");
        options = orvy::check::parseOptions(app.arguments().mid(1), orvy::data::builtInDbSettings(),
            qEnvironmentVariableIsSet("ORVY_CHECK_PASSWORD") ? std::optional<QString>(QString::fromUtf8(environment))
                                                             : std::nullopt,
            askPassword);
    } catch (const orvy::Error &error) {
        err << "orvyclass-check: " << error.message() << "\n" << orvy::check::usageText();
        return 2;
    }
    if (options.help) {
        QTextStream(stdout) << orvy::check::usageText();
        return 0;
    }
    const bool bar = isatty(fileno(stderr));
    orvy::check::CheckResult result;
    try {
        result = orvy::check::runCheck(options, {}, bar ? std::function<void(int, int)>(drawProgress) : nullptr);
    } catch (const orvy::check::CannotRun &error) {
        err << "orvyclass-check: cannot reach the catalogue: " << error.message() << "\n";
        return 2;
    } catch (const std::exception &error) {
        err << "orvyclass-check: " << error.what() << "\n";
        return 2;
    }
    QTextStream out(stdout);
    if (options.json)
        out << QString::fromUtf8(orvy::check::jsonReport(result));
    else
        out << orvy::check::textReport(result);
    return orvy::check::exitStatus(result);
}
