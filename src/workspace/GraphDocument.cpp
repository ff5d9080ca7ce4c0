#include "workspace/GraphDocument.h"

namespace kl516 {

QString GraphDocument::closeQuestion() const {
    switch (effectiveRole()) {
        case WindowRole::DataLogger:
            return QStringLiteral("Save DataLogger Data ?");
        case WindowRole::RealTime:
            return QStringLiteral("Save Real-Time Graph ?");
        default:
            return {};
    }
}

QList<SaveFormat> GraphDocument::saveFormats() const {
    const QList<SaveFormat> graph{SaveFormat::GraphFile, SaveFormat::PointText};
    switch (effectiveRole()) {
        case WindowRole::DataLogger:
            return QList<SaveFormat>{SaveFormat::CollectionFile} + graph;
        case WindowRole::RealTime:
        case WindowRole::OpenedFile:
        case WindowRole::LeqOfSource:
            return graph;
        case WindowRole::TableList:
        case WindowRole::Leq:
            return {SaveFormat::TableText};
        default:
            return {};
    }
}

}  // namespace kl516
