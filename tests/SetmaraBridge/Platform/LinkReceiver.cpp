// The start of the bridge program with links printed instead of handled: it hands its link
// over to a running instance, or listens, printing "listening" and then each link it gets.
#include "Platform/SingleInstance.hpp"

#include <QCoreApplication>

#include <cstdio>

namespace {

void print(const QByteArray& line) {
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QString link = bridge::SingleInstance::linkArgument(application.arguments());
    if (bridge::SingleInstance::handOver(link)) {
        return 0;
    }
    bridge::SingleInstance instance;
    if (!instance.listen()) {
        std::fprintf(stderr, "cannot listen at %s\n",
                     qPrintable(bridge::SingleInstance::socketPath()));
        return 1;
    }
    QObject::connect(&instance, &bridge::SingleInstance::linkReceived,
                     [](const QString& received) { print(received.toUtf8()); });
    print("listening");
    if (!link.isEmpty()) {
        print(link.toUtf8());
    }
    return application.exec();
}
