#pragma once

class BrainExpressionModel;

// Told of every announced change of a BrainExpressionModel, synchronously inside the setter. code is a
// ModelChangeCode.
class BrainExpressionModelListener
{
public:
    virtual ~BrainExpressionModelListener() = default;
    virtual void ModelChanged(int code, BrainExpressionModel* model, int argument) = 0;
};
