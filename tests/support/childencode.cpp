#include "childencode.h"

#include "tempfiles.h"

#include "encoder/lameencoderx.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kFlag[] = "--encode-child";

// A seccomp filter that fails openat() with O_TMPFILE, as a file system without unnamed
// files does.
bool refuseUnnamedFiles()
{
    if (!failSystemCall(SYS_openat, EOPNOTSUPP, O_TMPFILE & ~O_DIRECTORY))
        return false;
    // Proof that it holds here.
    const int fd = ::open("/tmp", O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    return fd < 0 && errno == EOPNOTSUPP;
}

// The folder the MP3 ends up in: a link's target's.
QString finalFolder(const QString &output)
{
    const QFileInfo info(output);
    const QString target = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    return QFileInfo(target).absolutePath();
}

} // namespace

ChildEnd encodeInChildProcess(const QString &input, const QString &output, const ChildConditions &conditions)
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QString::fromLatin1(kFlag), input, output, QString::number(conditions.fileSizeLimit),
                        QString::number(conditions.refuseUnnamedFiles), QString::number(conditions.umask),
                        QString::number(conditions.abortAtPercent)});
    child.start();
    ChildEnd end;
    end.exited = child.waitForFinished(120000) && child.exitStatus() == QProcess::NormalExit;
    end.exitCode = child.exitCode();
    end.said = QString::fromUtf8(child.readAllStandardOutput()).trimmed();
    return end;
}

bool runEncodeChild(int argc, char *argv[], int *exitCode)
{
    if (argc != 8 || qstrcmp(argv[1], kFlag) != 0)
        return false;
    const long long sizeLimit = std::stoll(argv[4]);
    const int mask = std::stoi(argv[6]);
    const int abortAt = std::stoi(argv[7]);
    if (mask >= 0)
        ::umask(static_cast<mode_t>(mask));
    if (std::stoi(argv[5]) != 0 && !refuseUnnamedFiles()) {
        QTextStream(stdout) << "unnamed files still allowed" << Qt::endl;
        *exitCode = 2;
        return true;
    }
    QCoreApplication app(argc, argv);
    if (sizeLimit >= 0) {
        const rlimit limit {static_cast<rlim_t>(sizeLimit), static_cast<rlim_t>(sizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
    }
    const QString input = QString::fromLocal8Bit(argv[2]);
    const QString output = QString::fromLocal8Bit(argv[3]);
    const QStringList before = entriesOf(finalFolder(output));

    using Member = LameEncoderX::Member;
    LameEncoderX encoder;
    QString result = QStringLiteral("no end");
    QObject::connect(&encoder, &LameEncoderX::EncodeFinished, &app, [&] {
        result = QStringLiteral("finished");
        app.quit();
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeFailed, &app, [&](const QString &message) {
        result = QStringLiteral("failed: ") + message;
        app.quit();
    });
    QObject::connect(&encoder, &LameEncoderX::EncodeProgress, &app, [&](int percent) {
        if (percent != abortAt)
            return;
        qsizetype added = 0;
        for (const QString &entry : entriesOf(finalFolder(output)))
            added += before.contains(entry) ? 0 : 1;
        result = encoder.call(Member::Abort) ? QStringLiteral("aborted with %1 new files").arg(added)
                                             : QStringLiteral("abort refused");
        app.quit();
    });
    Outcome started = encoder.write(Member::InputFile, input);
    if (started)
        started = encoder.write(Member::OutputFile, output);
    if (started)
        started = encoder.call(Member::Encode);
    if (!started)
        result = QStringLiteral("refused: ") + started.message;
    else
        app.exec();
    QTextStream(stdout) << result << Qt::endl;
    *exitCode = result == QLatin1String("finished") ? 0 : 1;
    return true;
}

bool failSystemCall(long number, int error, unsigned flags)
{
#if defined(__x86_64__)
    constexpr unsigned arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    const unsigned char flagChecks = flags ? 2 : 0;
    std::vector<sock_filter> filter {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(number), 0, static_cast<unsigned char>(1 + flagChecks)),
    };
    if (flags) {
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2]))); // the low half
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, flags, 0, 1));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA)));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program {static_cast<unsigned short>(filter.size()), filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}
