#include "atlas/BrainMeshSet.h"

#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"

#include <boost/filesystem/operations.hpp>

BrainMeshSet::BrainMeshSet(AtlasSpace* space)
    : m_space(space)
{
}

bool BrainMeshSet::SpatialObjectFileExists(const AnnotationLabel* label, const Atlas* atlas)
{
    if (!label || !AnnotationLabel::IsMeshFileName(label->meshName))
        return false;
    for (unsigned int i = 0; i < atlas->GetNumSpaces(); ++i)
    {
        const boost::filesystem::path meshes = boost::filesystem::path(atlas->GetSpace(i)->GetPath()) / "Meshes";
        for (const char* extension : {"msh", "amsh", "ls"})
        {
            boost::system::error_code error;
            if (boost::filesystem::exists(meshes / (label->meshName + "." + extension), error))
                return true;
        }
    }
    return false;
}
