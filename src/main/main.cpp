// Program entry: start-up and shut-down of the PA controller.
#include <QApplication>

#include "RDLog.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Velmar");
    QApplication::setApplicationName("Velmar");

    QLog::open();
    qInfo("Velmar starting");

    QLog::close();
    return 0;
}
