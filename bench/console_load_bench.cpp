// How long the console takes to fill its container tree for a site of 2,000
// containers and its DL list for a container of 5,000 DLs, against a
// reference directory seeded with such an organisation.
//
//   console_load_bench [RUNS]      prints the median and the fastest of RUNS (default 5)
#include <QApplication>
#include <QTreeWidgetItem>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "RefDirInstance.h"
#include "console/ContainerTree.h"
#include "console/ListView.h"
#include "console/MessageBoxes.h"
#include "console/TreeView.h"
#include "core/mdlMain.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int TopContainers = 20;     // below the site
constexpr int MiddleContainers = 9;   // below each of those
constexpr int LeafContainers = 10;    // below each of those: 20 + 180 + 1800, and the DL container
constexpr int DLs = 5000;
constexpr const char* Site = "ou=Amsterdam,o=Northwind Traders";

void container(std::ofstream& out, const std::string& name, const std::string& parent) {
    out << "dn: cn=" << name << "," << parent << "\nobjectClass: Container\ncn: " << name
        << "\nObj-View-Containers: " << parent << "\n\n";
}

// An organisation with 2,001 containers below the site (one of them, cn=Lists,
// holds 5,000 DLs) and the configuration container that the console skips.
std::string writeSeed(const std::string& path) {
    std::ofstream out(path);
    out << "dn: o=Northwind Traders\nobjectClass: organization\no: Northwind Traders\n\n"
        << "dn: " << Site << "\nobjectClass: organizationalUnit\nou: Amsterdam\nrdn: Amsterdam\n\n";
    container(out, "Configuration", Site);
    container(out, "Lists", Site);
    int count = 1;
    for (int t = 1; t <= TopContainers; ++t) {
        const std::string top = "Region " + std::to_string(t);
        container(out, top, Site);
        const std::string topDn = "cn=" + top + "," + Site;
        ++count;
        for (int m = 1; m <= MiddleContainers; ++m) {
            const std::string middle = "Office " + std::to_string(m);
            container(out, middle, topDn);
            const std::string middleDn = "cn=" + middle + "," + topDn;
            ++count;
            for (int l = 1; l <= LeafContainers; ++l) {
                container(out, "Team " + std::to_string(l), middleDn);
                ++count;
            }
        }
    }
    const std::string lists = std::string("cn=Lists,") + Site;
    for (int i = 1; i <= DLs; ++i) {
        const std::string uid = "dl-" + std::to_string(i);
        out << "dn: cn=" << uid << "," << lists << "\nobjectClass: groupOfNames\ncn: Distribution list " << i
            << "\ncn: " << uid << "\nuid: " << uid << "\nextension-attribute-15: QVL=<LDAP://@SERVER@/" << Site
            << ">;(&((objectClass=organizationalPerson)(department=D" << i % 50 << ")));;subtree\n\n";
    }
    return std::to_string(count);
}

double milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    double median = 0, fastest = 0;
};

Figures measure(int runs, const std::function<void()>& prepare, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const auto start = Clock::now();
        work();
        times.push_back(milliseconds(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ::setenv("LDAPNOINIT", "1", 0);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QUORVEL_REFDIR_LOGLEVEL", "0", 0);  // slapd logs nothing while it is measured
    char folder[] = "/tmp/quorvel-bench.XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    const std::string seed = std::string(folder) + "/seed.ldif";
    const std::string containers = writeSeed(seed);

    qv::bench::RefDirInstance directory(seed);
    QApplication app(argc, argv);
    qv::SetMessageBoxHandler([](QWidget*, const qv::MessageBoxRequest& request) {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(request.title), qPrintable(request.text));
        return qv::MsgAnswer::OK;
    });
    qv::ModuleState& m = qv::mdl();
    m.strServer = directory.server();
    m.objConnection->setUsername("reader");
    m.objConnection->setPassword("reader-pw");
    m.objConnection->setDomain("CORP");

    qv::TreeView tree;
    qv::ListView list;
    tree.resize(400, 600);
    list.resize(400, 600);
    tree.show();
    list.show();

    const Figures treeTimes = measure(
        runs, [&] { tree.Clear(); }, [&] { qv::ConnectToServer(m.strServer, &tree, nullptr); });
    const int nodes = static_cast<int>(tree.Nodes().size()) - 3;

    QTreeWidgetItem* listsNode = nullptr;
    for (QTreeWidgetItem* node : tree.Nodes())
        if (node->text(0) == "cn=Lists") listsNode = node;
    if (!listsNode) {
        std::fprintf(stderr, "the container of the DLs is not in the tree\n");
        return 1;
    }
    const Figures listTimes = measure(
        runs, [&] { list.Clear(); }, [&] { qv::LoadDLList(&list, &tree, listsNode); });

    std::printf("container tree: %d containers (%s in the seed) in %.0f ms (median of %d, fastest %.0f ms; target < 2000 ms)\n",
                nodes, containers.c_str(), treeTimes.median, runs, treeTimes.fastest);
    std::printf("DL list: %d DLs in %.0f ms (median of %d, fastest %.0f ms; target < 500 ms)\n", list.Count(),
                listTimes.median, runs, listTimes.fastest);
    std::remove(seed.c_str());
    ::rmdir(folder);
    return 0;
}
