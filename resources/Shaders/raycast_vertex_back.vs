// Whatever is drawn with this (the structure meshes) is coloured by its position as a fraction of the
// grid, so that rays end where they meet it.
#version 120

uniform vec3 volumeSize;

void main()
{
    gl_FrontColor = vec4(gl_Vertex.xyz / volumeSize, 1.0);
    gl_ClipVertex = gl_ModelViewMatrix * gl_Vertex;
    gl_Position = ftransform();
}
