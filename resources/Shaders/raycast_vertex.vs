// The cube's vertices carry their grid fraction as colour; the composite quad carries its image
// coordinates as texture coordinate.
#version 120

void main()
{
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_ClipVertex = gl_ModelViewMatrix * gl_Vertex;
    gl_Position = ftransform();
}
