// The FTP file list with large folders: filling and sorting rows, offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <string>

#include "ftp/CFtpSite.h"
#include "widgets/ftp/CFDListCtrl.h"
#include "widgets/ftp/CFDTreeCtrl.h"

namespace {

using namespace velkor;

// A site whose tree holds one loaded folder with `files` files (eight
// types) and a tenth as many folders; no server is involved.
void FillSite(CFtpSite& site, int files) {
    site.m_pFDFSDoc = std::make_unique<CFDFSDoc>();
    site.m_pFDFSDoc->NewXMLDoc("");
    site.m_pFDFSDoc->InitVFDLDoc("", "vlk:", "", -1, -1);
    CVFDLNode* root = site.m_pFDFSDoc->GetRootNode();
    static const char* const kTypes[] = {"txt", "iso", "bin", "md", "tar.gz", "", "c", "PNG"};
    for (int i = 0; i < files; ++i) {
        CFDFSFileData data;
        data.m_nSize = static_cast<std::uint32_t>((static_cast<long long>(i) * 7919) % 100000);
        data.m_nExpandStatus = 1;
        const char* type = kTypes[i % 8];
        std::string name = "file" + std::to_string((static_cast<long long>(i) * 104729) % files);
        if (*type) name += std::string(".") + type;
        site.m_pFDFSDoc->AddRec(root->m_strID, CFDFSRec{name, "\\" + name, data});
        if (i % 10 == 0) {
            CFDFSFileData folder;
            folder.m_bFolder = 1;
            const std::string dir = "dir" + std::to_string(i);
            site.m_pFDFSDoc->AddFolder(root->m_strID, CFDFSFolder{dir, "\\" + dir, folder});
        }
    }
    site.m_pFDFSDoc->SetExpandStatus(root, 1);
}

void BM_BrowseFolder(benchmark::State& state) {
    CFtpSite site;
    FillSite(site, static_cast<int>(state.range(0)));
    CFDListCtrl list;
    list.InitFileListCtrl(&site, nullptr);
    for (auto _ : state) {
        list.BrowseFolder("", CVFDLListCtrl::kAllEntries);
        benchmark::DoNotOptimize(list.GetItemCount());
    }
    state.SetItemsProcessed(state.iterations() * list.GetItemCount());
}
BENCHMARK(BM_BrowseFolder)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SortByColumn(benchmark::State& state) {
    CFtpSite site;
    FillSite(site, static_cast<int>(state.range(0)));
    CFDListCtrl list;
    list.InitFileListCtrl(&site, nullptr);
    list.BrowseFolder("", CVFDLListCtrl::kAllEntries);
    int column = 0;
    for (auto _ : state) {
        list.SortByColumn(column);
        column = (column + 1) % 3;
    }
    state.SetItemsProcessed(state.iterations() * list.GetItemCount());
}
BENCHMARK(BM_SortByColumn)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The tree of a site whose start folder holds N folders.
void BM_TreeFill(benchmark::State& state) {
    CFtpSite site;
    site.m_pFDFSDoc = std::make_unique<CFDFSDoc>();
    site.m_pFDFSDoc->NewXMLDoc("");
    site.m_pFDFSDoc->InitVFDLDoc("", "vlk:", "", -1, -1);
    CVFDLNode* root = site.m_pFDFSDoc->GetRootNode();
    for (int i = 0; i < state.range(0); ++i) {
        CFDFSFileData folder;
        folder.m_bFolder = 1;
        const std::string dir = "dir" + std::to_string(i);
        site.m_pFDFSDoc->AddFolder(root->m_strID, CFDFSFolder{dir, "\\" + dir, folder});
    }
    site.m_pFDFSDoc->SetExpandStatus(root, 1);
    for (auto _ : state) {
        // A new tree maps the start folder's rows afresh.
        CFDTreeCtrl tree;
        tree.InitFDTreeCtrl(&site, nullptr);
        benchmark::DoNotOptimize(tree.model()->rowCount(tree.rootIndex()));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TreeFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
