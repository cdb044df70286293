// Time of the LinLog Barnes-Hut layout beside igraph's layouts on the same graphs in the same run.
//
// Python writes two relation tables with planted clusters (1,000 nodes in 10 clusters, 5,000 in 25); this
// program imports each (answering the 5,000-row question Yes through the alert hook), times ComputeLayout
// (best of the repeats, every run from the same starting positions) and writes the positions. Python then
// times Fruchterman-Reingold (grid) and DrL and prints the times, their ratios, the LinLog energy of every
// placement at its best uniform scale and the share of nodes nearest their own cluster's centre.
//
// Arguments: [repeats]

#include "BenchSupport.h"
#include "core/AlertPresenter.h"
#include "core/PlatformHooks.h"
#include "views/PositionGenerator.h"
#include "views/RelationGraph.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace
{

const std::string SCRIPT = std::string(CORVANE_SOURCE_DIR) + "/bench/linlog_igraph.py";

class AnswerYes : public AlertPresenter
{
public:
    void ShowAlert(const std::string& message) override { std::printf("alert: %s\n", message.c_str()); }
    bool ShowConfirmation(const std::string&) override
    {
        ++questions;
        return true;
    }
    int questions = 0;
};

void StartFromTheSamePositions(GeneRelation::RelationGraph& graph)
{
    GeneRelation::PositionGenerator positions(12345);
    for (auto node = graph.Begin(); node != graph.End(); ++node)
    {
        node->second->GetPosition()[0] = positions.Next();
        node->second->GetPosition()[1] = positions.Next();
    }
}

// Imports the table, times the layout and writes positions and best time for the Python side.
bool LayOut(const boost::filesystem::path& folder, int nodes, int repeats)
{
    const std::string table = (folder / ("graph" + std::to_string(nodes) + ".csv")).string();
    AnswerYes presenter;
    PlatformHooks::SetAlertPresenter(&presenter);
    GeneRelation::RelationGraph graph;
    const auto importStart = std::chrono::steady_clock::now();
    try
    {
        graph.ImportFile(table.c_str());
    }
    catch (const std::exception& error)
    {
        std::printf("import failed: %s\n", error.what());
        PlatformHooks::SetAlertPresenter(nullptr);
        return false;
    }
    const double importSeconds = SecondsSince(importStart);
    PlatformHooks::SetAlertPresenter(nullptr);

    double best = 1e300;
    for (int r = 0; r < repeats; ++r)
    {
        StartFromTheSamePositions(graph);
        const auto start = std::chrono::steady_clock::now();
        graph.ComputeLayout();
        best = std::min(best, SecondsSince(start));
    }
    int relations = 0;
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        relations += node->second->GetNumEdges();
    std::printf("%d nodes, %d relations: import with layout %.3f s (questions asked: %d), layout best of %d %.3f s\n",
                graph.GetNumNodes(), relations / 2, importSeconds, presenter.questions, repeats, best);

    std::ofstream positions((folder / ("linlog" + std::to_string(nodes) + ".csv")).string());
    positions.precision(9);
    for (auto node = graph.Begin(); node != graph.End(); ++node)
        positions << node->first << ',' << node->second->GetPosition()[0] << ',' << node->second->GetPosition()[1]
                  << '\n';
    std::ofstream((folder / ("linlog" + std::to_string(nodes) + ".time")).string()) << best << '\n';
    return bool(positions);
}

int Run(const std::string& command)
{
    std::fflush(stdout);
    return std::system(command.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const boost::filesystem::path folder =
        boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("corvane-bench-%%%%-%%%%");
    boost::filesystem::create_directories(folder);
    const std::string python = "/usr/bin/python3 '" + SCRIPT + "' ";
    int status = Run(python + "generate '" + folder.string() + "'");
    std::printf("LinLog Barnes-Hut layout beside igraph, planted clusters\n");
    for (const int nodes : {1000, 5000})
        if (status == 0 && !LayOut(folder, nodes, repeats))
            status = 1;
    if (status == 0)
        status = Run(python + "compare '" + folder.string() + "' 1000 5000");
    boost::system::error_code ignored;
    boost::filesystem::remove_all(folder, ignored);
    return status == 0 ? 0 : 1;
}
