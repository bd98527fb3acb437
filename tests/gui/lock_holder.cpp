// lock_holder [NAME]: takes the instance lock NAME (default: its own file
// name) and keeps it until its standard input closes. Prints the outcome
// first: held, held-by-another or unavailable.
#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/InstanceGuard.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  InstanceGuard guard(arguments.size() > 1 ? arguments.at(1) : InstanceGuard::ExecutableName());
  switch (guard.acquire()) {
    case InstanceGuard::State::kHeld:
      std::puts("held");
      break;
    case InstanceGuard::State::kHeldByAnother:
      std::puts("held-by-another");
      return 1;
    default:
      std::puts("unavailable");
      return 2;
  }
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  return 0;
}
