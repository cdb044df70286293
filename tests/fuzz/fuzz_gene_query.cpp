#include "expression/GeneExpression.h"
#include "expression/PagedGeneList.h"
#include "expression/PagedGeneListListener.h"

#include "tests/fuzz/FuzzAtlases.h"
#include "tests/fuzz/FuzzNetwork.h"

#include <cstdint>
#include <string>

namespace
{
FuzzNetwork* network = nullptr;

// Deletes the list at the first notification of the chosen code, as a tab closed by the user in the middle
// of an answer does; an answer must then stop cleanly.
class ClosingListener : public PagedGeneListListener
{
public:
    ClosingListener(PagedGeneList*& list, int closeOn)
        : m_list(list)
        , m_closeOn(closeOn)
    {
    }
    void PagedGeneListChanged(int code, PagedGeneList* list, int index) override
    {
        if (GeneExpression* row = list->GetGene(index))
            row->GetTitle();
        if (code == m_closeOn && m_list)
        {
            delete m_list;
            m_list = nullptr;
        }
    }

private:
    PagedGeneList*& m_list;
    int m_closeOn;
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    network = new FuzzNetwork;
    InstallFuzzAtlases();
    return 0;
}

// A search answer fed to the list's query in chunks of random sizes, then the same bytes as the answer of
// the next page. Byte 0 picks the atlas and project of the search (low two bits) and the notification
// at which the listener deletes the list (the rest; none above 7). Seeds: the demo server's answers to
// searches of each kind, damaged answers included.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const unsigned int atlases[] = {310, 350, 378, 378};
    const unsigned int atlasId = atlases[data[0] & 3];
    const char* projectCode = (data[0] & 3) == 3 ? "0378" : "";
    PagedGeneList* list = new PagedGeneList(10);
    ClosingListener listener(list, data[0] >> 2);
    list->AddListener(&listener);
    list->Search(FuzzAtlas(atlasId).get(), projectCode, "Gad1", "list");
    network->Answer(data + 1, size - 1, "text/xml");
    if (list && list->GetNumPages() > 1)
    {
        list->ChangePage(1);
        network->Answer(data + 1, size - 1, "text/xml", {FuzzReply::Length::None});
    }
    if (list)
    {
        std::string status;
        list->GetStatusString(status);
    }
    delete list;
    return 0;
}
