#pragma once

#include <string>
#include <vector>

class TFiler;

// Base of the program's non-visual components: a name, an owner that destroys the components
// it owns, and the properties stored with the component. It needs no toolkit, so that the
// sound components work in command-line tools; a window owns its components as members, and
// a component that must receive window messages is also a QObject.
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }
    // The class's own name, as stored properties name it ("TACMConvertor").
    std::string ClassName() const;

    // Declares the properties that are stored with the component (framework/Filer.h).
    virtual void DefineProperties(TFiler&) {}

private:
    TComponent* FOwner;
    std::string FName;
    std::vector<TComponent*> FComponents;
};
